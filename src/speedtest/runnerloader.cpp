#include "measurementrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace velmora::detail {

std::expected<std::unique_ptr<MeasurementRunner>, QString> loadMeasurementRunner()
{
    // Where the module is installed, from the directory of the program; the build tree keeps
    // the same layout. Never unloaded: its threads and the transfer library's process-wide
    // state may outlive any one tester.
    static QLibrary module(QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral(VELMORA_RUNNER_MODULE)));
    const auto make =
        reinterpret_cast<MakeMeasurementRunner *>(module.resolve(makeMeasurementRunnerSymbol));
    if (!make) {
        return std::unexpected(
            QStringLiteral("The speed test is not available: %1").arg(module.errorString()));
    }
    return std::unique_ptr<MeasurementRunner>(make());
}

} // namespace velmora::detail
