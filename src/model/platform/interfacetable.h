#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace velmora {

// An interface's cumulative received and sent bytes, and which interface counted them.
struct CounterPair
{
    quint64 rx = 0;
    quint64 tx = 0;
    // The kernel's index of the interface; 0 when the source does not tell. A name that comes
    // back with another index belongs to a new interface, whose counts started again at 0.
    int ifindex = 0;
    // 64-bit counts never wrap in practice; 32-bit ones wrap at 2^32.
    bool is64Bit = false;

    friend bool operator==(const CounterPair &, const CounterPair &) = default;
};

using InterfaceCounters = QHash<QString, CounterPair>;

// One IPv4 address of an interface that is up, as numeric text.
struct InterfaceAddress
{
    QString name;
    QString address;
    // The kernel's kind of link ("veth", "tun", "wireguard", …); empty when it names none.
    QString linkKind{};

    friend bool operator==(const InterfaceAddress &, const InterfaceAddress &) = default;
};

// The system's interface list, read afresh on every call.
class InterfaceTable
{
public:
    virtual ~InterfaceTable() = default;

    // The counters of every interface with a link-layer entry, unfiltered; a name listed
    // twice keeps its last pair. Empty when the list cannot be read.
    virtual InterfaceCounters counters() const = 0;
    // The IPv4 addresses of interfaces that are up, in the order the system lists them.
    // Empty when the list cannot be read.
    virtual QList<InterfaceAddress> upIPv4Addresses() const = 0;
};

} // namespace velmora
