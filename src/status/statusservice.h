#pragma once

#include "statusrecord.h"

#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace velmora {

class StatusAdaptor;

// Gives the tray program's status out on the session bus: the properties of
// app.velmora.Velmora.Status on the path of busObject, which must be registered with its
// adaptors exported, read from source whenever asked. Changes are announced with
// PropertiesChanged. The rates change every second, and every signal wakes the program's bus
// thread whether or not anyone listens, which D-Bus cannot tell a sender: so theirs go out
// only while a connection that asked for them with FollowRates() is on the bus, at most once
// a second; until then a change of the rates costs nothing.
class StatusService : public QObject
{
    Q_OBJECT

public:
    static QString interfaceName();

    StatusService(QObject *busObject, QString objectPath, std::function<StatusRecord()> source,
                  QObject *parent = nullptr);
    ~StatusService() override;

    // Something the properties show has changed: told to readers at once.
    void changed();
    // The rates have changed: told to followers, at most once a second.
    void ratesChanged();
    bool hasFollowers() const { return !m_followers.watchedServices().isEmpty(); }

    // The record as it is now.
    StatusRecord record() const { return m_source(); }
    // Follows the rates for the connection with this unique name, while it is on the bus.
    void addFollower(const QString &connection);

Q_SIGNALS:
    // A reader asked for the public address to be looked up again.
    void refreshRequested();

private:
    void announce();

    QPointer<StatusAdaptor> m_adaptor; // busObject's child, gone with this
    QString m_objectPath;
    std::function<StatusRecord()> m_source;
    StatusRecord m_announced; // what readers were last told
    QTimer m_announce;
    QElapsedTimer m_sinceRates;
    QDBusServiceWatcher m_followers;
};

} // namespace velmora
