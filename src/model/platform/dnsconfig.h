#pragma once

#include <QStringList>

namespace velmora {

// The DNS servers the system's resolver uses.
class DnsConfig
{
public:
    virtual ~DnsConfig() = default;

    // The server addresses in the resolver's order, unfiltered and not deduplicated; empty
    // when the configuration cannot be read.
    virtual QStringList servers() const = 0;
};

} // namespace velmora
