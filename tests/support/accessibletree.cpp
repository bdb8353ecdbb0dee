#include "accessibletree.h"
#include "testhelpers.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <functional>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {
const QString connectionName = u"a11y"_s;
} // namespace

DesktopSession::Outcome AccessibleTree::start(const DesktopSession &session)
{
    m_launcher.setProcessEnvironment(session.environment());
    m_launcher.start(u"/usr/libexec/at-spi-bus-launcher"_s, {u"--launch-immediately"_s});
    if (!m_launcher.waitForStarted())
        return DesktopSession::Outcome::missing(u"at-spi2-core is not installed"_s);
    QDBusReply<QString> address;
    const bool ready = DesktopSession::waitUntil([&] {
        return (address = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                    u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s, u"GetAddress"_s)))
            .isValid();
    });
    if (!ready || !QDBusConnection::connectToBus(address.value(), connectionName).isConnected())
        return DesktopSession::Outcome::failed(u"the accessibility bus did not come up"_s);
    // Whether or not a screen reader runs: the test reads and presses in its place.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    return {};
}

AccessibleTree::~AccessibleTree()
{
    QDBusConnection::disconnectFromBus(connectionName);
    test::end(m_launcher);
}

QDBusMessage AccessibleTree::call(const Node &node, const QString &interface, const QString &method,
                                  const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(node.first, node.second, interface, method);
    message.setArguments(arguments);
    return QDBusConnection(connectionName).call(message);
}

QMultiMap<QString, AccessibleTree::Node> AccessibleTree::nodes(const QString &application)
{
    QMultiMap<QString, Node> found;
    const std::function<void(const Node &, int)> walk = [&](const Node &node, int depth) {
        const QDBusReply<QDBusVariant> property =
            call(node, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                 {u"org.a11y.atspi.Accessible"_s, u"Name"_s});
        const QString name = property.isValid() ? property.value().variant().toString() : QString();
        // The registry's children are the applications. Widget trees here are a dozen levels
        // deep; a cycle must not hang the test.
        if ((depth == 1 && name != application) || depth > 40)
            return;
        found.insert(name, node);
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
