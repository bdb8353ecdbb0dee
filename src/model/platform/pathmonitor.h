#pragma once

#include <QObject>
#include <QStringList>

namespace velmora {

// What the machine's network path looks like at one moment.
struct NetworkPath
{
    // Some default route leaves through an interface that can carry traffic.
    bool satisfied = false;
    bool usesWifi = false;
    bool usesWiredEthernet = false;
    bool usesCellular = false;
    // The interfaces that routes towards everywhere name, whether usable or not, sorted:
    // default routes, the 0/1 + 128/1 halves tunnels install, of the main table and of the
    // tables the policy rules select.
    QStringList interfaces{};

    friend bool operator==(const NetworkPath &, const NetworkPath &) = default;
};

// Reports the network path: once soon after start() and again after each change of links,
// carrier, addresses, routes or policy rules, even when the path reads the same as before (a
// new address or a tunnel may be behind it). A burst of changes gives one report, and a burst
// that leaves everything as it was (a renewed lease) gives none. Reports arrive on the thread
// that owns the monitor.
class PathMonitor : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts watching; later calls do nothing. The first report is never delivered from
    // within this call.
    virtual void start() = 0;

Q_SIGNALS:
    void pathChanged(const velmora::NetworkPath &path);
};

} // namespace velmora
