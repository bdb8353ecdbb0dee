#include "shownvalues.h"

#include "flag.h"

#include <QCoreApplication>

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

// The connection's names in English: the status output gives them so; the popover translates them.
const char *connectionText(ConnectionKind kind)
{
    switch (kind) {
    case ConnectionKind::wifi:
        return QT_TRANSLATE_NOOP("Popover", "Wi-Fi");
    case ConnectionKind::ethernet:
        return QT_TRANSLATE_NOOP("Popover", "Ethernet");
    case ConnectionKind::cellular:
        return QT_TRANSLATE_NOOP("Popover", "Cellular");
    case ConnectionKind::other:
        return QT_TRANSLATE_NOOP("Popover", "Other");
    case ConnectionKind::offline:
        return QT_TRANSLATE_NOOP("Popover", "Offline");
    case ConnectionKind::unknown:
        break;
    }
    return nullptr;
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
    //: Also the desktop widget's text until the first lookup answers.
    return QCoreApplication::translate("Popover", "Locating…");
}

QString title(const std::optional<GeoInfo> &geo, bool isOnline)
{
    if (geo)
        return geo->country;
    return isOnline ? locating() : QCoreApplication::translate("Popover", "Offline");
}

QString subtitle(const std::optional<GeoInfo> &geo)
{
    return orPlaceholder(geo ? geo->city : QString());
}

QString publicIP(const std::optional<GeoInfo> &geo, bool ipCopied)
{
    if (ipCopied)
        //: In place of the public IP address for a moment, once it was copied.
        return QCoreApplication::translate("Popover", "Copied");
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
    return QString::fromLatin1(connectionText(kind));
}

QString connectionTitle(ConnectionKind kind)
{
    const char *text = connectionText(kind);
    return text ? QCoreApplication::translate("Popover", text) : QString();
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
    //: Under the connection: the DNS servers are reached around the VPN, not through it.
    return QCoreApplication::translate("Popover", "DNS outside the VPN");
}

QString dnsRoutes(const QList<DnsRoute> &routes)
{
    QStringList parts;
    for (const DnsRoute &route : routes)
        //: For screen readers: a DNS server's address and the network interface it is reached
        //: through.
        parts.append(QCoreApplication::translate("Popover", "%1 through %2")
                         .arg(route.server, route.interface));
    return parts.join(u", "_s);
}

QString changeTitle(const GeoInfo &old, const GeoInfo &now)
{
    if (old.countryCode == now.countryCode)
        return QCoreApplication::translate("Card", "IP address changed");
    //: The card's title when the new address is in another country, that country's name.
    return QCoreApplication::translate("Card", "Now in %1").arg(now.country);
}

QString changedAddresses(const GeoInfo &old, const GeoInfo &now)
{
    return old.ip + u" \u2192 "_s + now.ip;
}

std::optional<QString> previousPlace(const GeoInfo &old, const GeoInfo &now)
{
    if (old.countryCode == now.countryCode)
        return std::nullopt;
    //: Under the addresses: the flag and the name of the country the old address was in.
    return QCoreApplication::translate("Card", "was %1 %2").arg(old.flag(), old.country);
}

} // namespace velmora::Shown
