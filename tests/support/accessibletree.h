#pragma once

#include <QDBusMessage>
#include <QMultiMap>

#include <utility>

namespace velmora {

// Programs' widgets as assistive technology reads them, over the accessibility bus a private
// desktop's Accessibility component starts and connects to as "a11y".
struct AccessibleTree
{
    using Node = std::pair<QString, QString>; // service, object path

    // Every node of the application of that name (a Qt program's application name), keyed by
    // its own name: a label's or a button's text.
    static QMultiMap<QString, Node> nodes(const QString &application);
    static QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                             const QVariantList &arguments = {});
};

} // namespace velmora
