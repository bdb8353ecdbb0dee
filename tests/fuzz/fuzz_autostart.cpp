#include "fuzzing.h"

#include "platform/loginitem_linux.h"

#include <QDir>

using namespace velmora;

// Any autostart entry reads as one of the statuses, and the Exec line this program writes for
// itself names it again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString home = fuzzing::directory().path();
    QDir(home).mkpath(QStringLiteral("autostart"));
    fuzzing::file(QStringLiteral("autostart/velmora.desktop"), data, size);
    const XdgAutostartLoginItem item(
        {.programPath = QStringLiteral("/bin/true"), .configHome = home});
    fuzzing::require(item.status() != LoginItem::Status::notFound);

    const QString program = QString::fromUtf8(fuzzing::bytes(data, size));
    const QString exec = XdgAutostartLoginItem::execValue(program);
    // A file's path never holds NUL.
    fuzzing::require(program.isEmpty() || program.contains(QChar(0)) ||
                     XdgAutostartLoginItem::programOfExec(exec) == program);
    return 0;
}
