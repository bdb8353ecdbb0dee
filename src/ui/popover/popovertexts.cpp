#include "popovertexts.h"

#include "preferences.h"

#include <QRegularExpression>

#include <array>
#include <charconv>

namespace velmora::PopoverTexts {

namespace {

QString orPlaceholder(const QString &text)
{
    return text.isEmpty() ? placeholder() : text;
}

QString megabits(const std::optional<double> &mbps, const Preferences &prefs)
{
    return mbps ? prefs.formatMbps(*mbps) : placeholder();
}

} // namespace

QString placeholder()
{
    return QStringLiteral(u"\u2014");
}

std::optional<GeoInfo> currentGeo(const GeoState &state, const std::optional<GeoInfo> &lastGeo)
{
    if (state.kind() == GeoState::Kind::loaded)
        return state.info();
    return lastGeo;
}

QString title(const std::optional<GeoInfo> &geo, bool isOnline)
{
    if (geo)
        return geo->country;
    return isOnline ? QStringLiteral(u"Locating\u2026") : QStringLiteral("Offline");
}

QString subtitle(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? geo->city : QString());
}

QString publicIP(const std::optional<GeoInfo> &geo, bool ipCopied)
{
    if (ipCopied)
        return QStringLiteral("Copied");
    return geo ? geo->ip : placeholder();
}

QString isp(const std::optional<GeoInfo> &geo)
{
    QStringList parts;
    if (geo) {
        for (const QString &part : {geo->isp, geo->asn}) {
            if (!part.isEmpty())
                parts.append(part);
        }
    }
    return orPlaceholder(parts.join(QStringLiteral(u" \u00B7 ")));
}

QString dns(const QStringList &servers)
{
    return orPlaceholder(servers.mid(0, 3).join(u'\n'));
}

QString timezone(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? geo->timezone : QString());
}

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
        return rawValue(phase);
    if (result)
        return lastRun(*result, locale);
    return {};
}

} // namespace velmora::PopoverTexts
