#pragma once

#include "platform/interfacetable.h"

namespace velmora {

// The interface list: addresses from getifaddrs()'s AF_INET entries; counters, indices and
// link kinds from the kernel's link dump (rtnetlink), whose statistics are 64-bit where
// getifaddrs() hands out the 32-bit ones.
class GetifaddrsInterfaceTable final : public InterfaceTable
{
public:
    InterfaceCounters counters() const override;
    QList<InterfaceAddress> upIPv4Addresses() const override;
};

} // namespace velmora
