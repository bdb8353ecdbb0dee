#include "speedtexts.h"

#include "preferences.h"
#include "shownvalues.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <charconv>

using namespace Qt::StringLiterals;

namespace velmora::Shown {

namespace {

QString megabits(const std::optional<double> &mbps, const Preferences &prefs)
{
    return mbps ? prefs.formatMbps(*mbps) : placeholder();
}

QString phaseText(SpeedPhase phase)
{
    switch (phase) {
    case SpeedPhase::latency:
        return QCoreApplication::translate("Popover", "Measuring latency…");
    case SpeedPhase::download:
        return QCoreApplication::translate("Popover", "Testing download…");
    case SpeedPhase::upload:
        return QCoreApplication::translate("Popover", "Testing upload…");
    case SpeedPhase::idle:
        break;
    }
    return {};
}

QString stepName(SpeedPhase step)
{
    switch (step) {
    case SpeedPhase::latency:
        //: A step of the speed test that failed, in the list after "Failed: %1".
        return QCoreApplication::translate("Popover", "latency");
    case SpeedPhase::download:
        //: A step of the speed test that failed, in the list after "Failed: %1".
        return QCoreApplication::translate("Popover", "download");
    case SpeedPhase::upload:
        //: A step of the speed test that failed, in the list after "Failed: %1".
        return QCoreApplication::translate("Popover", "upload");
    case SpeedPhase::idle:
        break;
    }
    return {};
}

} // namespace

QString latency(const std::optional<SpeedResult> &result)
{
    if (!result || !result->latencyMs)
        return placeholder();
    // printf's "%.0f": the nearest integer, exact ties to even, and no locale involved.
    std::array<char, 400> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                            *result->latencyMs, std::chars_format::fixed, 0);
    if (error != std::errc())
        return placeholder();
    return QString::fromLatin1(buffer.data(), end - buffer.data()) + QStringLiteral(" ms");
}

QString download(const std::optional<SpeedResult> &result, const Preferences &prefs)
{
    return megabits(result ? result->downloadMbps : std::nullopt, prefs);
}

QString upload(const std::optional<SpeedResult> &result, const Preferences &prefs)
{
    return megabits(result ? result->uploadMbps : std::nullopt, prefs);
}

QString lastRun(const SpeedResult &result, const QLocale &locale)
{
    // The short style is hours and minutes; the C locale's short format alone carries
    // seconds ("HH:mm:ss"), which are dropped with their separator.
    static const QRegularExpression seconds(QStringLiteral("[^A-Za-z']?s+"));
    const QString format = locale.timeFormat(QLocale::ShortFormat).remove(seconds);
    //: Beside the Run test button: the time of day of the last speed test.
    return QCoreApplication::translate("Popover", "Last run %1")
        .arg(locale.toString(result.date.toDateTime().toLocalTime().time(), format));
}

QString speedStatus(SpeedPhase phase, const std::optional<SpeedResult> &result,
                    const QLocale &locale)
{
    if (phase != SpeedPhase::idle)
        return phaseText(phase);
    if (result)
        return lastRun(*result, locale);
    return {};
}

std::optional<QString> speedFailure(const QList<SpeedPhase> &failedSteps)
{
    if (failedSteps.isEmpty())
        return std::nullopt;
    QStringList names;
    for (SpeedPhase step : failedSteps)
        names.append(stepName(step));
    //: The steps of the speed test that failed, e.g. "latency, upload".
    return QCoreApplication::translate("Popover", "Failed: %1").arg(names.join(u", "_s));
}

} // namespace velmora::Shown
