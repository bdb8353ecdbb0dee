#pragma once

#include "dnsroute.h"
#include "platform/interfacetable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace velmora {

class RouteLookup;

// Whether an interface's traffic enters the rates: physical links only (wired, wireless,
// cellular), never loopback, tunnels, bridges or other virtual interfaces.
bool countsTraffic(QStringView name);

// The entries of all whose names count traffic.
InterfaceCounters trafficCounters(const InterfaceCounters &all);

// The address to show as the machine's local address: the first on a wired or wireless
// interface, else the first that is neither loopback nor a tunnel, else none.
std::optional<QString> chooseLocalIP(const QList<InterfaceAddress> &addresses);

// Whether the interface looks like a VPN tunnel, by its name or its kernel link kind.
bool looksLikeVpn(const InterfaceAddress &entry);

// Whether any listed interface looks like a VPN tunnel.
bool vpnLikely(const QList<InterfaceAddress> &addresses);

// The shown DNS servers whose queries leave outside the VPN, while one is likely: each server
// the routes send through an interface that does not look like a VPN. Loopback servers and
// servers the routes know no way to are never listed. The servers may carry a "%zone".
QList<DnsRoute> dnsOutsideVpn(const QStringList &servers, const QList<InterfaceAddress> &addresses,
                              const RouteLookup &routes);

struct TrafficDelta
{
    quint64 received = 0;
    quint64 sent = 0;

    friend bool operator==(const TrafficDelta &, const TrafficDelta &) = default;
};

// Bytes moved between two samples, summed over the names present in both under the same
// interface index; names in only one sample, or made again in between, contribute nothing.
// A 32-bit difference is taken modulo 2^32, so a wrapped counter counts what moved; a
// 64-bit counter that went back counts nothing.
TrafficDelta trafficDelta(const InterfaceCounters &previous, const InterfaceCounters &current);

} // namespace velmora
