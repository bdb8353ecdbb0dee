#pragma once

#include "platform/interfacetable.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace velmora {

// Whether an interface's traffic enters the rates: physical links only (wired, wireless,
// cellular), never loopback, tunnels, bridges or other virtual interfaces.
bool countsTraffic(QStringView name);

// The entries of all whose names count traffic.
InterfaceCounters trafficCounters(const InterfaceCounters &all);

// The address to show as the machine's local address: the first on a wired or wireless
// interface, else the first that is neither loopback nor a tunnel, else none.
std::optional<QString> chooseLocalIP(const QList<InterfaceAddress> &addresses);

// Whether any listed interface looks like a VPN tunnel, by its name or its kernel link kind.
bool vpnLikely(const QList<InterfaceAddress> &addresses);

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
