#include "accessibletree.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <functional>

using namespace Qt::StringLiterals;

namespace velmora {

QDBusMessage AccessibleTree::call(const Node &node, const QString &interface, const QString &method,
                                  const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(node.first, node.second, interface, method);
    message.setArguments(arguments);
    return QDBusConnection(u"a11y"_s).call(message);
}

QMultiMap<QString, AccessibleTree::Node> AccessibleTree::nodes(const QString &application)
{
    QMultiMap<QString, Node> found;
    const std::function<void(const Node &, int)> walk = [&](const Node &node, int depth) {
        const QDBusReply<QDBusVariant> name =
            call(node, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                 {u"org.a11y.atspi.Accessible"_s, u"Name"_s});
        // The registry's children are the applications. Widget trees here are a dozen levels
        // deep; a cycle must not hang the test.
        if ((depth == 1 && name.value().variant().toString() != application) || depth > 40)
            return;
        found.insert(name.value().variant().toString(), node);
        const QDBusMessage reply = call(node, u"org.a11y.atspi.Accessible"_s, u"GetChildren"_s);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return;
        const auto children = reply.arguments().first().value<QDBusArgument>();
        children.beginArray();
        while (!children.atEnd()) {
            QString service;
            QDBusObjectPath path;
            children.beginStructure();
            children >> service >> path;
            children.endStructure();
            walk({service, path.path()}, depth + 1);
        }
        children.endArray();
    };
    walk({u"org.a11y.atspi.Registry"_s, u"/org/a11y/atspi/accessible/root"_s}, 0);
    return found;
}

} // namespace velmora
