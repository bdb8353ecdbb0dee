#include "interfacerules.h"

#include "platform/routelookup.h"

#include <QHostAddress>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

template<std::size_t N>
bool startsWithAny(QStringView name, const std::array<QStringView, N> &prefixes)
{
    return std::ranges::any_of(prefixes,
                               [name](QStringView prefix) { return name.startsWith(prefix); });
}

// Linux names these eth*, en* (predictable names), wl* and ww*; "pdp_ip" is kept for the
// cellular links of other systems.
constexpr std::array<QStringView, 5> countedPrefixes{u"en", u"pdp_ip", u"eth", u"wl", u"ww"};
constexpr std::array<QStringView, 3> preferredPrefixes{u"en", u"eth", u"wl"};
constexpr std::array<QStringView, 5> notLocalPrefixes{u"lo", u"utun", u"tun", u"tap", u"wg"};

// What makes an interface look like a VPN: its name beginning with a prefix, or its kernel
// link kind being exactly a kind.
struct VpnSign
{
    enum class By { namePrefix, linkKind } by;
    QStringView text;
};
using By = VpnSign::By;
constexpr std::array vpnSigns{
    VpnSign{By::namePrefix, u"utun"},  // tunnels of other systems
    VpnSign{By::namePrefix, u"ipsec"}, // IPsec virtual interfaces
    VpnSign{By::namePrefix, u"ppp"},   // PPTP and L2TP dial-up links
    VpnSign{By::namePrefix, u"tun"},   // OpenVPN and other user-space tunnels
    VpnSign{By::namePrefix, u"tap"},   // OpenVPN in bridged mode
    VpnSign{By::namePrefix, u"wg"},    // WireGuard as wg-quick names it
    // Clients that name their own interfaces.
    VpnSign{By::namePrefix, u"tailscale"}, // Tailscale
    VpnSign{By::namePrefix, u"nordlynx"},  // NordVPN's WireGuard link
    VpnSign{By::namePrefix, u"proton"},    // Proton VPN
    VpnSign{By::namePrefix, u"zt"},        // ZeroTier
    // Whatever the name: the kernel's WireGuard links, and the tun/tap devices that
    // user-space VPNs (OpenVPN, Cisco and Palo Alto clients, ZeroTier) read packets from.
    VpnSign{By::linkKind, u"wireguard"},
    VpnSign{By::linkKind, u"tun"},
};

// Bytes counted between two readings of one counter.
quint64 counted(quint64 before, quint64 now, bool is64Bit)
{
    // Unsigned 32-bit subtraction is the modulo-2^32 difference. A 64-bit counter does not
    // wrap, so one that went back was reset and has counted nothing we can know of.
    if (!is64Bit)
        return quint32(quint32(now) - quint32(before));
    return now >= before ? now - before : 0;
}

} // namespace

bool countsTraffic(QStringView name)
{
    return startsWithAny(name, countedPrefixes);
}

InterfaceCounters trafficCounters(const InterfaceCounters &all)
{
    InterfaceCounters counted;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (countsTraffic(it.key()))
            counted.insert(it.key(), it.value());
    }
    return counted;
}

std::optional<QString> chooseLocalIP(const QList<InterfaceAddress> &addresses)
{
    for (const InterfaceAddress &entry : addresses) {
        if (startsWithAny(entry.name, preferredPrefixes))
            return entry.address;
    }
    for (const InterfaceAddress &entry : addresses) {
        if (!startsWithAny(entry.name, notLocalPrefixes))
            return entry.address;
    }
    return std::nullopt;
}

bool looksLikeVpn(const InterfaceAddress &entry)
{
    return std::ranges::any_of(vpnSigns, [&entry](const VpnSign &sign) {
        return sign.by == By::namePrefix ? entry.name.startsWith(sign.text)
                                         : entry.linkKind == sign.text;
    });
}

bool vpnLikely(const QList<InterfaceAddress> &addresses)
{
    return std::ranges::any_of(addresses, looksLikeVpn);
}

QList<DnsRoute> dnsOutsideVpn(const QStringList &servers, const QList<InterfaceAddress> &addresses,
                              const RouteLookup &routes)
{
    QList<DnsRoute> outside;
    if (!vpnLikely(addresses))
        return outside;
    for (const QString &server : servers.mid(0, shownDnsServers)) {
        // A "%zone" becomes the address's scope, which the route lookup leaves aside.
        const QHostAddress address(server);
        if (address.isNull() || address.isLoopback())
            continue;
        const std::optional<QString> name = routes.interfaceFor(address);
        if (!name)
            continue;
        // The link kind is known for the interfaces vpnLikely judged; others by name alone.
        const auto listed = std::ranges::find_if(addresses, [&name](const InterfaceAddress &entry) {
            return entry.name.section(u':', 0, 0) == *name;
        });
        const QString kind = listed != addresses.cend() ? listed->linkKind : QString();
        if (!looksLikeVpn({*name, {}, kind}))
            outside.append({server, *name});
    }
    return outside;
}

TrafficDelta trafficDelta(const InterfaceCounters &previous, const InterfaceCounters &current)
{
    TrafficDelta delta;
    for (auto it = current.cbegin(); it != current.cend(); ++it) {
        const auto before = previous.constFind(it.key());
        // Another index: the interface was made again, and its counts start here.
        if (before == previous.cend() || before->ifindex != it->ifindex)
            continue;
        const bool is64Bit = before->is64Bit && it->is64Bit;
        delta.received += counted(before->rx, it->rx, is64Bit);
        delta.sent += counted(before->tx, it->tx, is64Bit);
    }
    return delta;
}

} // namespace velmora
