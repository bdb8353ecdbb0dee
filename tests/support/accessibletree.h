#pragma once

#include "desktopsession.h"

#include <QDBusMessage>
#include <QMultiMap>
#include <QProcess>

#include <utility>

namespace velmora {

// Programs' widgets as assistive technology reads them, over the accessibility bus of a private
// desktop: at-spi2-core's bus, started here and connected to as "a11y". Qt programs started
// afterwards expose their widgets on it.
class AccessibleTree
{
public:
    using Node = std::pair<QString, QString>; // service, object path

    AccessibleTree() = default;
    ~AccessibleTree();
    AccessibleTree(const AccessibleTree &) = delete;
    AccessibleTree &operator=(const AccessibleTree &) = delete;

    // Starts the bus for session and waits until it is there; Missing without at-spi2-core.
    DesktopSession::Outcome start(const DesktopSession &session);

    // Every node of the application of that name (a Qt program's application name), keyed by
    // its own name: a label's or a button's text.
    static QMultiMap<QString, Node> nodes(const QString &application);
    static QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                             const QVariantList &arguments = {});

private:
    QProcess m_launcher;
};

} // namespace velmora
