#pragma once

// Reads another program's widgets the way assistive technology does, over the accessibility
// bus: names (a label's or a button's text) and the actions of buttons.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <functional>
#include <memory>

namespace velmora::test {

class AccessibleTree
{
public:
    // Connects to the accessibility bus of the session bus this process uses.
    AccessibleTree()
    {
        const QDBusReply<QString> address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                u"org.a11y.Bus"_qs, u"/org/a11y/bus"_qs, u"org.a11y.Bus"_qs, u"GetAddress"_qs));
        if (address.isValid())
            m_bus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(address.value(), u"a11y"_qs));
    }
    ~AccessibleTree()
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(u"a11y"_qs);
    }

    bool isConnected() const { return m_bus && m_bus->isConnected(); }

    // The names of every node of the application named application, depth first.
    QStringList names(const QString &application) const
    {
        QStringList result;
        for (const Node &node : nodes(application))
            result.append(node.name);
        return result;
    }

    // Runs the first action (a button's press) of the first node of application whose name
    // is name; false when there is none.
    bool press(const QString &application, const QString &name) const
    {
        for (const Node &node : nodes(application)) {
            if (node.name == name)
                return call(node, u"org.a11y.atspi.Action"_qs, u"DoAction"_qs, {0}).type() ==
                       QDBusMessage::ReplyMessage;
        }
        return false;
    }

private:
    struct Node
    {
        QString service;
        QString path;
        QString name{};
    };

    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        message.setArguments(arguments);
        return m_bus->call(message);
    }

    QList<Node> children(const Node &parent) const
    {
        const QDBusMessage reply = call(parent, u"org.a11y.atspi.Accessible"_qs, u"GetChildren"_qs);
        QList<Node> result;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return result;
        const auto argument = reply.arguments().first().value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Node child;
            QDBusObjectPath path;
            argument.beginStructure();
            argument >> child.service >> path;
            argument.endStructure();
            child.path = path.path();
            result.append(child);
        }
        argument.endArray();
        return result;
    }

    QString name(const Node &node) const
    {
        const QDBusReply<QDBusVariant> reply =
            call(node, u"org.freedesktop.DBus.Properties"_qs, u"Get"_qs,
                 {u"org.a11y.atspi.Accessible"_qs, u"Name"_qs});
        return reply.isValid() ? reply.value().variant().toString() : QString();
    }

    // Every node of application, depth first.
    QList<Node> nodes(const QString &application) const
    {
        QList<Node> found;
        const std::function<void(Node, int)> walk = [&](Node node, int depth) {
            node.name = name(node);
            found.append(node);
            // Widget trees here are a dozen levels deep; a cycle must not hang the test.
            for (const Node &child : depth < 40 ? children(node) : QList<Node>())
                walk(child, depth + 1);
        };
        for (const Node &app :
             children({u"org.a11y.atspi.Registry"_qs, u"/org/a11y/atspi/accessible/root"_qs})) {
            if (name(app) == application)
                walk(app, 0);
        }
        return found;
    }

    std::unique_ptr<QDBusConnection> m_bus;
};

} // namespace velmora::test
