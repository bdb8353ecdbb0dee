#pragma once

#include <QDBusConnection>
#include <QStringList>

#include <chrono>
#include <expected>

namespace velmora {

// The DNS servers systemd-resolved sends ordinary lookups to, as it tells on the bus: its
// global servers and those of the links that are a default route for lookups, in its order.
// An error when resolved is not on the bus, does not answer within timeout, or answers in a
// shape its interface does not have.
std::expected<QStringList, QString> resolvedDnsServers(const QDBusConnection &bus,
                                                       std::chrono::milliseconds timeout);

} // namespace velmora
