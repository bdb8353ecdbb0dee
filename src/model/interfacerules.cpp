#include "interfacerules.h"

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
constexpr std::array<QStringView, 6> vpnPrefixes{u"utun", u"ipsec", u"ppp", u"tun", u"tap", u"wg"};

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

QString chooseLocalIP(const QList<InterfaceAddress> &addresses)
{
    for (const InterfaceAddress &entry : addresses) {
        if (startsWithAny(entry.name, preferredPrefixes))
            return entry.address;
    }
    for (const InterfaceAddress &entry : addresses) {
        if (!startsWithAny(entry.name, notLocalPrefixes))
            return entry.address;
    }
    return u"\u2014"_s;
}

bool vpnLikely(const QList<InterfaceAddress> &addresses)
{
    return std::ranges::any_of(addresses, [](const InterfaceAddress &entry) {
        return startsWithAny(entry.name, vpnPrefixes);
    });
}

TrafficDelta trafficDelta(const InterfaceCounters &previous, const InterfaceCounters &current)
{
    TrafficDelta delta;
    for (auto it = current.cbegin(); it != current.cend(); ++it) {
        const auto before = previous.constFind(it.key());
        if (before == previous.cend())
            continue;
        // Unsigned 32-bit subtraction is the modulo-2^32 difference.
        delta.received += quint32(it->rx - before->rx);
        delta.sent += quint32(it->tx - before->tx);
    }
    return delta;
}

} // namespace velmora
