#pragma once

#include "platform/interfacetable.h"
#include "platform/linkstatistics_linux.h"

namespace velmora {

// The interface list: addresses from getifaddrs()'s AF_INET entries, with link kinds from the
// kernel's link list; counters and indices from the kernel's link dump over one rtnetlink
// socket kept open, as they are read every second. Not for use from two threads at once.
class GetifaddrsInterfaceTable final : public InterfaceTable
{
public:
    InterfaceCounters counters() const override;
    QList<InterfaceAddress> upIPv4Addresses() const override;

private:
    mutable LinkStatistics m_statistics;
};

} // namespace velmora
