#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace velmora {

// An interface's cumulative received and sent bytes as the kernel's 32-bit link statistics
// keep them; both wrap at 2^32.
struct CounterPair
{
    quint32 rx = 0;
    quint32 tx = 0;

    friend bool operator==(const CounterPair &, const CounterPair &) = default;
};

using InterfaceCounters = QHash<QString, CounterPair>;

// One IPv4 address of an interface that is up, as numeric text.
struct InterfaceAddress
{
    QString name;
    QString address;

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
