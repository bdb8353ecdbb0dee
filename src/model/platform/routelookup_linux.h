#pragma once

#include "platform/routelookup.h"

#include <chrono>

namespace velmora {

// Asks the kernel as `ip route get` does: one RTM_GETROUTE request for the address, answered
// from the routing tables through the policy rules, with no packet sent.
class NetlinkRouteLookup final : public RouteLookup
{
public:
    // The longest wait for the kernel's answer.
    explicit NetlinkRouteLookup(std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

    std::optional<QString> interfaceFor(const QHostAddress &address) const override;

private:
    std::chrono::milliseconds m_timeout;
};

} // namespace velmora
