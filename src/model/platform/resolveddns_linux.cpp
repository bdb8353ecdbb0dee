#include "platform/resolveddns_linux.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QtEndian>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const QString service = u"org.freedesktop.resolve1"_s;
const QString managerPath = u"/org/freedesktop/resolve1"_s;
const QString managerInterface = u"org.freedesktop.resolve1.Manager"_s;
const QString linkInterface = u"org.freedesktop.resolve1.Link"_s;

struct Server
{
    int ifindex = 0; // 0 for resolved's global servers
    QString address;
};

// One call, waiting no longer than what is left until the deadline.
std::expected<QVariantList, QString> call(const QDBusConnection &bus, const QString &path,
                                          const QString &interface, const QString &method,
                                          const QVariantList &arguments,
                                          const QDeadlineTimer &deadline)
{
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0)
        return std::unexpected(u"systemd-resolved did not answer in time"_s);
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, int(remaining));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::unexpected(u"systemd-resolved: "_s + reply.errorName() + u": "_s +
                               reply.errorMessage());
    return reply.arguments();
}

std::expected<QVariant, QString> property(const QDBusConnection &bus, const QString &path,
                                          const QString &interface, const QString &name,
                                          const QDeadlineTimer &deadline)
{
    const auto reply = call(bus, path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                            {interface, name}, deadline);
    if (!reply)
        return std::unexpected(reply.error());
    if (reply->size() != 1 || reply->first().metaType() != QMetaType::fromType<QDBusVariant>())
        return std::unexpected(u"systemd-resolved answered no value for "_s + name);
    return reply->first().value<QDBusVariant>().variant();
}

std::optional<QString> addressText(int family, const QByteArray &bytes)
{
    if (family == AF_INET && bytes.size() == 4)
        return QHostAddress(qFromBigEndian<quint32>(bytes.constData())).toString();
    if (family == AF_INET6 && bytes.size() == 16)
        return QHostAddress(reinterpret_cast<const quint8 *>(bytes.constData())).toString();
    return std::nullopt;
}

// The Manager's DNS property, a(iiay): interface index, address family, address bytes.
std::expected<QList<Server>, QString> parseServers(const QVariant &value)
{
    const QString signature =
        value.metaType() == QMetaType::fromType<QDBusArgument>()
            ? value.value<QDBusArgument>().currentSignature()
            : QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
    if (signature != "a(iiay)"_L1)
        return std::unexpected(u"systemd-resolved's DNS is of type "_s + signature +
                               u", not a(iiay)"_s);
    const QDBusArgument argument = value.value<QDBusArgument>();
    QList<Server> servers;
    QString problem;
    // Read to the end whatever comes: leaving an array before endArray() leaks its reader.
    argument.beginArray();
    while (!argument.atEnd()) {
        int ifindex = 0;
        int family = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> ifindex >> family >> bytes;
        argument.endStructure();
        if (const std::optional<QString> address = addressText(family, bytes))
            servers.append({ifindex, *address});
        else if (problem.isEmpty())
            problem =
                u"systemd-resolved names a DNS server of family %1 in %2 bytes"_s.arg(family).arg(
                    bytes.size());
    }
    argument.endArray();
    if (!problem.isEmpty())
        return std::unexpected(problem);
    return servers;
}

std::expected<bool, QString> isDefaultRoute(const QDBusConnection &bus, int ifindex,
                                            const QDeadlineTimer &deadline)
{
    const auto link = call(bus, managerPath, managerInterface, u"GetLink"_s, {ifindex}, deadline);
    if (!link)
        return std::unexpected(link.error());
    if (link->size() != 1 || link->first().metaType() != QMetaType::fromType<QDBusObjectPath>())
        return std::unexpected(u"systemd-resolved answered GetLink with no object"_s);
    const auto value = property(bus, link->first().value<QDBusObjectPath>().path(), linkInterface,
                                u"DefaultRoute"_s, deadline);
    if (!value)
        return std::unexpected(value.error());
    if (value->metaType() != QMetaType::fromType<bool>())
        return std::unexpected(u"systemd-resolved's DefaultRoute is not a Boolean"_s);
    return value->toBool();
}

} // namespace

std::expected<QStringList, QString> resolvedDnsServers(const QDBusConnection &bus,
                                                       std::chrono::milliseconds timeout)
{
    if (!bus.isConnected())
        return std::unexpected(u"no system bus to ask systemd-resolved on"_s);
    const QDeadlineTimer deadline(timeout);
    const auto value = property(bus, managerPath, managerInterface, u"DNS"_s, deadline);
    if (!value)
        return std::unexpected(value.error());
    const auto servers = parseServers(*value);
    if (!servers)
        return std::unexpected(servers.error());
    // Global servers take every lookup; a link's only when it is a default route for lookups,
    // not when it answers for its own domains alone.
    QHash<int, bool> takesEveryLookup{{0, true}};
    QStringList used;
    for (const Server &server : *servers) {
        if (!takesEveryLookup.contains(server.ifindex)) {
            const auto defaultRoute = isDefaultRoute(bus, server.ifindex, deadline);
            if (!defaultRoute)
                return std::unexpected(defaultRoute.error());
            takesEveryLookup.insert(server.ifindex, *defaultRoute);
        }
        if (takesEveryLookup.value(server.ifindex))
            used.append(server.address);
    }
    return used;
}

} // namespace velmora
