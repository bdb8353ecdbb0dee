#pragma once

#include "trayitem.h"

#include <QDBusConnection>

class QDBusServiceWatcher;

namespace velmora {

class DBusMenu;
class LabelledItemAdaptor;
class StatusNotifierItemAdaptor;

// The item as a StatusNotifierItem on the session bus, registered with the desktop's
// StatusNotifierWatcher and registered again whenever a watcher (re)appears. It owns a
// connection of its own, so several items can live in one process, each at
// /StatusNotifierItem under its own service name.
class StatusNotifierItem : public TrayItem
{
    Q_OBJECT

public:
    static constexpr auto watcherService = "org.kde.StatusNotifierWatcher";

    // id is the item's stable name for the desktop (its Id property), e.g. "velmora".
    explicit StatusNotifierItem(const QString &id, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const QList<QImage> &images) override;
    void setToolTip(const QString &text) override;
    void setLabel(const QString &label, const QString &guide) override;
    // Registered with a live watcher.
    bool isShown() const override;
    // Decided by who owns the watcher, before the item registers with it.
    TrayRendering rendering() const override;
    // The host's fixed icon size, where the table knows it.
    QSize slotSize() const override;

    // Whether the session bus could be reached and the item published on it.
    bool isPublished() const;
    // Whether a watcher owns its name on the bus and has not refused the item.
    bool isWatcherPresent() const;
    // "org.kde.StatusNotifierItem-<pid>-<n>"; empty when not published.
    QString serviceName() const;

Q_SIGNALS:
    void watcherPresenceChanged(bool present);

private:
    friend class StatusNotifierItemAdaptor;
    friend class LabelledItemAdaptor;

    void registerWithWatcher(int retries);
    void identifyWatcher();
    void publishMenu();
    void setShown(bool shown);
    void setWatcherPresent(bool present);
    // The host reports X11 root coordinates; the item's users work in logical ones. A null
    // rectangle where the host's position says nothing of where the item is.
    QRect anchorAt(int x, int y) const;

    QString m_id;
    int m_number;
    QString m_connectionName;
    QDBusConnection m_connection;
    QString m_serviceName;
    // The one exported now, of the two below.
    StatusNotifierItemAdaptor *m_adaptor = nullptr;
    StatusNotifierItemAdaptor *m_plain = nullptr;
    LabelledItemAdaptor *m_labelled = nullptr;
    QDBusServiceWatcher *m_watcher = nullptr;
    QList<QImage> m_images;
    QString m_toolTip;
    QString m_label;
    QString m_labelGuide;
    DBusMenu *m_menu = nullptr;
    TrayHost m_host;
    bool m_shown = false;
    bool m_watcherPresent = false;
    // Replies to an older registration attempt are ignored.
    quint64 m_registration = 0;
};

} // namespace velmora
