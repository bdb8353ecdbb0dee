#pragma once

#include <QDBusConnection>
#include <QString>

namespace velmora {

// What a start found when it tried to be the session's one instance of its program.
enum class InstanceClaim {
    owned,         // this process is the instance; object serves the name's calls
    heldElsewhere, // another process is the instance
    noBus,         // no session bus: this process runs alone, unreachable
};

// Puts object on the session bus at path, then takes name without queueing and for the life
// of the process: whoever holds the name is the instance. The object goes again unless the
// name was taken. On noBus, reason (if given) says why.
InstanceClaim claimInstance(const QString &name, const QString &path, QObject *object,
                            QDBusConnection::RegisterOptions options, QString *reason = nullptr);

} // namespace velmora
