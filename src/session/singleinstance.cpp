#include "singleinstance.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>

namespace velmora {

InstanceClaim claimInstance(const QString &name, const QString &path, QObject *object,
                            QDBusConnection::RegisterOptions options, QString *reason)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (reason)
            *reason = bus.lastError().message();
        return InstanceClaim::noBus;
    }
    // The object first, so that a request arriving the moment the name is ours finds it.
    bus.registerObject(path, object, options);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return InstanceClaim::owned;
    bus.unregisterObject(path);
    if (!reply.isValid()) {
        if (reason)
            *reason = reply.error().message();
        return InstanceClaim::noBus;
    }
    return InstanceClaim::heldElsewhere;
}

} // namespace velmora
