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
    // The interfaces the default routes name, whether usable or not, sorted.
    QStringList interfaces{};

    friend bool operator==(const NetworkPath &, const NetworkPath &) = default;
};

// Reports the network path: once soon after start() and again after each change. Reports
// arrive on the thread that owns the monitor; two consecutive reports always differ.
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
