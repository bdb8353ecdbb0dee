#include "dbusmenu.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace velmora::dbusmenu {

// An item with its children, each child wrapped in a variant: (ia{sv}av).
struct LayoutItem
{
    int id = 0;
    QVariantMap properties{};
    QList<LayoutItem> children{};
};

struct ItemProperties
{
    int id = 0;
    QVariantMap properties{};
};

struct ItemPropertyNames
{
    int id = 0;
    QStringList names{};
};

struct MenuEvent
{
    int id = 0;
    QString eventId{};
    QDBusVariant data{};
    uint timestamp = 0;
};

QDBusArgument &operator<<(QDBusArgument &argument, const LayoutItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const LayoutItem &child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, LayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant wrapped;
        argument >> wrapped;
        LayoutItem child;
        wrapped.variant().value<QDBusArgument>() >> child;
        item.children.append(child);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ItemPropertyNames &item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ItemPropertyNames &item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const MenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

} // namespace velmora::dbusmenu

Q_DECLARE_METATYPE(velmora::dbusmenu::LayoutItem)
Q_DECLARE_METATYPE(velmora::dbusmenu::ItemProperties)
Q_DECLARE_METATYPE(velmora::dbusmenu::ItemPropertyNames)
Q_DECLARE_METATYPE(velmora::dbusmenu::MenuEvent)

namespace velmora {

namespace {

constexpr int rootId = 0;

} // namespace

// The com.canonical.dbusmenu interface. QtDBus finds methods by their parameter type names,
// so the protocol types are spelled out in full in every signature below.
class DBusMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuAdaptor(DBusMenu *menu)
        : QDBusAbstractAdaptor(menu)
        , m_menu(menu)
    {}

    uint version() const { return 3; }
    QString textDirection() const { return u"ltr"_s; }
    QString status() const { return u"normal"_s; }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   const QDBusMessage &message, velmora::dbusmenu::LayoutItem &layout)
    {
        if (refuseUnknown(parentId, message))
            return 0;
        // Any negative depth means all levels; counting down from INT_MIN would overflow.
        layout = layoutOf(parentId, std::max(recursionDepth, -1), propertyNames);
        return m_menu->m_revision;
    }

    QList<velmora::dbusmenu::ItemProperties> GetGroupProperties(const QList<int> &ids,
                                                                const QStringList &propertyNames)
    {
        // Hosts ask for nothing in particular to mean everything.
        QList<int> wanted = ids;
        if (wanted.isEmpty()) {
            for (int id = rootId; id <= m_menu->m_entries.size(); ++id)
                wanted.append(id);
        }
        QList<dbusmenu::ItemProperties> items;
        for (int id : std::as_const(wanted)) {
            if (knows(id))
                items.append({id, propertiesOf(id, propertyNames)});
        }
        return items;
    }

    QDBusVariant GetProperty(int id, const QString &name, const QDBusMessage &message)
    {
        if (refuseUnknown(id, message))
            return {};
        const QVariantMap properties = propertiesOf(id, {name});
        if (properties.isEmpty()) {
            refuse(message, u"item %1 has no property %2"_s.arg(id).arg(name));
            return {};
        }
        return QDBusVariant(properties.first());
    }

    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp,
               const QDBusMessage &message)
    {
        Q_UNUSED(data);
        Q_UNUSED(timestamp);
        if (!refuseUnknown(id, message))
            handle(id, eventId);
    }

    QList<int> EventGroup(const QList<velmora::dbusmenu::MenuEvent> &events,
                          const QDBusMessage &message)
    {
        QList<int> idErrors;
        for (const dbusmenu::MenuEvent &event : events) {
            if (knows(event.id))
                handle(event.id, event.eventId);
            else
                idErrors.append(event.id);
        }
        if (!events.isEmpty() && idErrors.size() == events.size())
            refuse(message, u"none of the items exist"_s);
        return idErrors;
    }

    bool AboutToShow(int id, const QDBusMessage &message)
    {
        // The menu is complete whenever a host asks; there is never anything to update.
        refuseUnknown(id, message);
        return false;
    }

    QList<int> AboutToShowGroup(const QList<int> &ids, const QDBusMessage &message,
                                QList<int> &idErrors)
    {
        idErrors.clear();
        for (int id : ids) {
            if (!knows(id))
                idErrors.append(id);
        }
        if (!ids.isEmpty() && idErrors.size() == ids.size())
            refuse(message, u"none of the items exist"_s);
        return {};
    }

Q_SIGNALS:
    // Hosts subscribe to all three; this menu announces every change as a new layout, which
    // hosts read afresh, and never asks a host to open an entry by itself.
    void ItemsPropertiesUpdated(const QList<velmora::dbusmenu::ItemProperties> &updatedProps,
                                const QList<velmora::dbusmenu::ItemPropertyNames> &removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    bool knows(int id) const { return id >= rootId && id <= m_menu->m_entries.size(); }

    void refuse(const QDBusMessage &message, const QString &text) const
    {
        message.setDelayedReply(true);
        m_menu->m_connection.send(message.createErrorReply(QDBusError::InvalidArgs, text));
    }

    // Answers the call with an error when id names no item.
    bool refuseUnknown(int id, const QDBusMessage &message) const
    {
        if (knows(id))
            return false;
        refuse(message, u"no menu item with id %1"_s.arg(id));
        return true;
    }

    QVariantMap propertiesOf(int id, const QStringList &names) const
    {
        QVariantMap all;
        if (id == rootId) {
            all.insert(u"children-display"_s, u"submenu"_s);
        } else {
            const MenuEntry &entry = m_menu->m_entries.at(id - 1);
            if (entry.separator)
                all.insert(u"type"_s, u"separator"_s);
            else // a single underscore would mark the next letter as the access key
                all.insert(u"label"_s, QString(entry.label).replace(u'_', u"__"_s));
            all.insert(u"enabled"_s, true);
            all.insert(u"visible"_s, true);
        }
        if (names.isEmpty())
            return all;
        QVariantMap wanted;
        for (const QString &name : names) {
            if (const auto found = all.constFind(name); found != all.cend())
                wanted.insert(name, found.value());
        }
        return wanted;
    }

    // Depth -1 means all levels, 0 the item alone.
    dbusmenu::LayoutItem layoutOf(int id, int depth, const QStringList &names) const
    {
        dbusmenu::LayoutItem item{id, propertiesOf(id, names), {}};
        if (id == rootId && depth != 0) {
            for (int child = 1; child <= m_menu->m_entries.size(); ++child)
                item.children.append(layoutOf(child, depth < 0 ? depth : depth - 1, names));
        }
        return item;
    }

    void handle(int id, const QString &eventId) const
    {
        if (id == rootId || eventId != "clicked"_L1)
            return;
        const MenuEntry &entry = m_menu->m_entries.at(id - 1);
        if (entry.separator)
            return;
        // After the reply: whatever the click starts must not hold up the host.
        QTimer::singleShot(0, m_menu,
                           [menu = m_menu, index = id - 1] { Q_EMIT menu->triggered(index); });
    }

    DBusMenu *m_menu;
};

DBusMenu::DBusMenu(QDBusConnection connection, const QString &path, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_path(path)
{
    // Introspection and dispatch both need the protocol types known before export.
    qDBusRegisterMetaType<dbusmenu::LayoutItem>();
    qDBusRegisterMetaType<dbusmenu::ItemProperties>();
    qDBusRegisterMetaType<QList<dbusmenu::ItemProperties>>();
    qDBusRegisterMetaType<dbusmenu::ItemPropertyNames>();
    qDBusRegisterMetaType<QList<dbusmenu::ItemPropertyNames>>();
    qDBusRegisterMetaType<dbusmenu::MenuEvent>();
    qDBusRegisterMetaType<QList<dbusmenu::MenuEvent>>();

    m_adaptor = new DBusMenuAdaptor(this);
    m_exported = m_connection.isConnected() &&
                 m_connection.registerObject(m_path, this, QDBusConnection::ExportAdaptors);
}

DBusMenu::~DBusMenu()
{
    if (m_exported)
        m_connection.unregisterObject(m_path);
}

bool DBusMenu::isExported() const
{
    return m_exported;
}

void DBusMenu::setEntries(const QList<MenuEntry> &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    ++m_revision;
    Q_EMIT m_adaptor->LayoutUpdated(m_revision, rootId);
}

} // namespace velmora

#include "dbusmenu.moc"
