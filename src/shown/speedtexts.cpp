#include "speedtexts.h"

#include "preferences.h"
#include "shownvalues.h"

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
        return u"Measuring latency\u2026"_s;
    case SpeedPhase::download:
        return u"Testing download\u2026"_s;
    case SpeedPhase::upload:
        return u"Testing upload\u2026"_s;
    case SpeedPhase::idle:
        break;
    }
    return {};
}

QString stepName(SpeedPhase step)
{
    switch (step) {
    case SpeedPhase::latency:
        return u"latency"_s;
    case SpeedPhase::download:
        return u"download"_s;
    case SpeedPhase::upload:
        return u"upload"_s;
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
    return QStringLiteral("Last run ") +
           locale.toString(result.date.toDateTime().toLocalTime().time(), format);
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
    return u"Failed: "_s + names.join(u", "_s);
}

} // namespace velmora::Shown
