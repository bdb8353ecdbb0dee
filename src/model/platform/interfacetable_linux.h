#pragma once

#include "platform/interfacetable.h"

namespace velmora {

// The interface list from getifaddrs(): counters from the AF_PACKET entries' 32-bit link
// statistics, addresses from the AF_INET entries.
class GetifaddrsInterfaceTable final : public InterfaceTable
{
public:
    InterfaceCounters counters() const override;
    QList<InterfaceAddress> upIPv4Addresses() const override;
};

} // namespace velmora
