#pragma once

// Reads another program's widgets the way assistive technology does, over the accessibility
// bus: names (a label's or a button's text) and the actions of buttons.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QList>
#include <QString>

#include <memory>

namespace velmora::test {

class AccessibleTree
{
public:
    struct Node
    {
        QString service;
        QString path;
        QString name{};
    };

    // Connects to the accessibility bus of the session bus this process uses.
    AccessibleTree()
    {
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
            QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        const QDBusReply<QString> address = QDBusConnection::sessionBus().call(call);
        if (address.isValid())
            m_bus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(address.value(), QStringLiteral("a11y")));
    }
    ~AccessibleTree()
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("a11y"));
    }

    bool isConnected() const { return m_bus && m_bus->isConnected(); }

    // Every node of the application named application, depth first.
    QList<Node> nodes(const QString &application) const
    {
        QList<Node> found;
        for (const Node &app : children({QStringLiteral("org.a11y.atspi.Registry"),
                                         QStringLiteral("/org/a11y/atspi/accessible/root")})) {
            if (property(app, QStringLiteral("Name")) == application)
                walk(app, found, 0);
        }
        return found;
    }

    // The names of every node of application.
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
            if (node.name != name)
                continue;
            QDBusMessage call = QDBusMessage::createMethodCall(
                node.service, node.path, QStringLiteral("org.a11y.atspi.Action"),
                QStringLiteral("DoAction"));
            call << 0;
            return m_bus->call(call).type() == QDBusMessage::ReplyMessage;
        }
        return false;
    }

private:
    QList<Node> children(const Node &parent) const
    {
        QList<Node> result;
        const QDBusMessage call = QDBusMessage::createMethodCall(
            parent.service, parent.path, QStringLiteral("org.a11y.atspi.Accessible"),
            QStringLiteral("GetChildren"));
        const QDBusMessage reply = m_bus->call(call);
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

    QString property(const Node &node, const QString &name) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            node.service, node.path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        call << QStringLiteral("org.a11y.atspi.Accessible") << name;
        const QDBusReply<QDBusVariant> reply = m_bus->call(call);
        return reply.isValid() ? reply.value().variant().toString() : QString();
    }

    void walk(Node node, QList<Node> &found, int depth) const
    {
        // Widget trees here are a dozen levels deep; a cycle must not hang the test.
        if (depth > 40)
            return;
        node.name = property(node, QStringLiteral("Name"));
        found.append(node);
        for (const Node &child : children(node))
            walk(child, found, depth + 1);
    }

    std::unique_ptr<QDBusConnection> m_bus;
};

} // namespace velmora::test
