#include "shownvalues.h"

#include "flag.h"

#include <QObject>

using namespace Qt::StringLiterals;

namespace velmora::Shown {

namespace {

// Parts left empty by the provider are left out with their separator.
QString joined(const QStringList &parts, const QString &separator)
{
    QStringList present;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            present.append(part);
    }
    return present.join(separator);
}

} // namespace

QString placeholder()
{
    return u"\u2014"_s;
}

QString orPlaceholder(const QString &text)
{
    return text.isEmpty() ? placeholder() : text;
}

bool isPlaceholder(const QString &text)
{
    return text == placeholder();
}

QString flag(bool isOnline, const GeoState &state, const std::optional<GeoInfo> &lastGeo)
{
    if (!isOnline)
        return Flag::offline();
    if (const std::optional<GeoInfo> geo = currentGeo(state, lastGeo))
        return geo->flag();
    return state.kind() == GeoState::Kind::failed ? Flag::offline() : Flag::loading();
}

QString locating()
{
    return u"Locating\u2026"_s;
}

QString title(const std::optional<GeoInfo> &geo, bool isOnline)
{
    if (geo)
        return geo->country;
    return isOnline ? locating() : u"Offline"_s;
}

QString subtitle(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? geo->city : QString());
}

QString publicIP(const std::optional<GeoInfo> &geo, bool ipCopied)
{
    if (ipCopied)
        return u"Copied"_s;
    return geo ? geo->ip : placeholder();
}

QString isp(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? joined({geo->isp, geo->asn}, u" \u00B7 "_s) : QString());
}

QString timezone(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? geo->timezone : QString());
}

QString toolTip(const std::optional<GeoInfo> &geo)
{
    // A record without a country would otherwise read " · 203.0.113.42".
    const QString text = geo ? joined({geo->country, geo->ip}, u" \u00B7 "_s) : QString();
    return text.isEmpty() ? u"Velmora"_s : text;
}

QString connectionName(ConnectionKind kind)
{
    switch (kind) {
    case ConnectionKind::wifi:
        return u"Wi-Fi"_s;
    case ConnectionKind::ethernet:
        return u"Ethernet"_s;
    case ConnectionKind::cellular:
        return u"Cellular"_s;
    case ConnectionKind::other:
        return u"Other"_s;
    case ConnectionKind::offline:
        return u"Offline"_s;
    case ConnectionKind::unknown:
        break;
    }
    return {};
}

QString localIP(const std::optional<QString> &address)
{
    return orPlaceholder(address.value_or(QString()));
}

QString dns(const QStringList &servers)
{
    return orPlaceholder(servers.mid(0, shownDnsServers).join(u'\n'));
}

QString dnsOutsideVpn()
{
    return u"DNS outside the VPN"_s;
}

QString dnsRoutes(const QList<DnsRoute> &routes)
{
    QStringList parts;
    for (const DnsRoute &route : routes)
        parts.append(u"%1 through %2"_s.arg(route.server, route.interface));
    return parts.join(u", "_s);
}

QString changeTitle(const GeoInfo &old, const GeoInfo &now)
{
    if (old.countryCode == now.countryCode)
        return QObject::tr("IP address changed");
    return QObject::tr("Now in ") + now.country;
}

QString changedAddresses(const GeoInfo &old, const GeoInfo &now)
{
    return old.ip + u" \u2192 "_s + now.ip;
}

std::optional<QString> previousPlace(const GeoInfo &old, const GeoInfo &now)
{
    if (old.countryCode == now.countryCode)
        return std::nullopt;
    return QObject::tr("was ") + old.flag() + u' ' + old.country;
}

} // namespace velmora::Shown
