#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace velmora {

// Where the kernel would send packets to an address.
class RouteLookup
{
public:
    virtual ~RouteLookup() = default;

    // The name of the interface that packets to address leave through, as the kernel routes
    // them now (policy rules included); nothing when there is no route, when the address is
    // one of this machine's own, or when the kernel cannot be asked.
    virtual std::optional<QString> interfaceFor(const QHostAddress &address) const = 0;
};

} // namespace velmora
