#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

namespace velmora {

class DBusMenuAdaptor;

// One line of the tray item's menu.
struct MenuEntry
{
    QString label{};
    bool separator = false;

    friend bool operator==(const MenuEntry &, const MenuEntry &) = default;
};

// A flat menu served over the com.canonical.dbusmenu interface, for trays that open the
// item's menu instead of activating it. The root has id 0 and the entries ids 1..n in their
// order. The connection is the caller's; the menu only registers its object on it.
class DBusMenu : public QObject
{
    Q_OBJECT

public:
    DBusMenu(QDBusConnection connection, const QString &path, QObject *parent = nullptr);
    ~DBusMenu() override;

    // Whether the object is registered at its path.
    bool isExported() const;
    // Replaces the menu; hosts are told of a new layout revision when anything changed.
    void setEntries(const QList<MenuEntry> &entries);

Q_SIGNALS:
    // The entry at index (0-based) was clicked; separators are not.
    void triggered(int index);

private:
    friend class DBusMenuAdaptor;

    QDBusConnection m_connection;
    QString m_path;
    DBusMenuAdaptor *m_adaptor = nullptr;
    QList<MenuEntry> m_entries;
    uint m_revision = 1;
    bool m_exported = false;
};

} // namespace velmora
