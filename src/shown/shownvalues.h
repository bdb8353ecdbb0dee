#pragma once

#include "connectionkind.h"
#include "dnsroute.h"
#include "geoinfo.h"
#include "geostate.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// How the values of the public address, its place and the local network read wherever they
// are shown: the popover, the tray item, the card, the widget and the status output. A missing
// value shows as placeholder(), the em dash alone.
namespace Shown {

QString placeholder();
QString orPlaceholder(const QString &text);
bool isPlaceholder(const QString &text);

// The flag of the tray item and the popover: the warning sign while offline, else the flag of
// the current record, else the warning sign after a failure or the globe while locating.
QString flag(bool isOnline, const GeoState &state, const std::optional<GeoInfo> &lastGeo);

// "Locating…": no record yet, and no failure.
QString locating();
// The country of the record, which may be empty; without one "Locating…" online and
// "Offline" offline.
QString title(const std::optional<GeoInfo> &geo, bool isOnline);
// The city, or the placeholder when there is none.
QString subtitle(const std::optional<GeoInfo> &geo);
// "Copied" while the address has just been copied, else the address or the placeholder.
QString publicIP(const std::optional<GeoInfo> &geo, bool ipCopied);
// The ISP and the autonomous system joined by " · ", empty ones left out.
QString isp(const std::optional<GeoInfo> &geo);
QString timezone(const std::optional<GeoInfo> &geo);
// The tool tip of the tray item: "<country> · <IP>", "Velmora" without a record. A part the
// provider left empty is left out with its separator.
QString toolTip(const std::optional<GeoInfo> &geo);

// "Wi-Fi", "Ethernet", "Cellular", "Other", "Offline"; empty while unknown. In English, as
// the status output gives it.
QString connectionName(ConnectionKind kind);
// connectionName() in the user's language, as the popover shows it.
QString connectionTitle(ConnectionKind kind);
QString localIP(const std::optional<QString> &address);
// The first three servers, one per line.
QString dns(const QStringList &servers);
// Under the connection while a VPN is likely and some shown server is reached around it.
QString dnsOutsideVpn();
// For screen readers: "192.0.2.1 through eth0, 192.0.2.3 through eth0"; empty for none.
QString dnsRoutes(const QList<DnsRoute> &routes);

// The card that tells of a new public address. Its title: "IP address changed" while the
// country code stays the same (compared as text), else "Now in " and the new country.
QString changeTitle(const GeoInfo &old, const GeoInfo &now);
// The old address, " → " and the new one.
QString changedAddresses(const GeoInfo &old, const GeoInfo &now);
// "was ", the old flag, a space and the old country; none while the country code stays.
std::optional<QString> previousPlace(const GeoInfo &old, const GeoInfo &now);

} // namespace Shown
} // namespace velmora
