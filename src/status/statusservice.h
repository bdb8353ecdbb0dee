#pragma once

#include "statusrecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace velmora {

class StatusAdaptor;

// Gives the tray program's status out on the session bus: the properties of
// app.velmora.Velmora.Status on the path of busObject, which must be registered with its
// adaptors exported. Each change is announced with PropertiesChanged, those of the rates at
// most once a second; an unchanged record announces nothing, so that nobody pays for a bus
// nobody reads.
class StatusService : public QObject
{
    Q_OBJECT

public:
    static QString interfaceName();

    StatusService(QObject *busObject, QString objectPath, QObject *parent = nullptr);
    ~StatusService() override;

    // The record the properties show from now on.
    void publish(const StatusRecord &record);
    const StatusRecord &record() const { return m_record; }

Q_SIGNALS:
    // A reader asked for the public address to be looked up again.
    void refreshRequested();

private:
    void announce();

    QPointer<StatusAdaptor> m_adaptor; // busObject's child, gone with this
    QString m_objectPath;
    StatusRecord m_record;    // what the properties read
    StatusRecord m_announced; // what readers were last told
    QTimer m_announce;
    QElapsedTimer m_sinceRates;
};

} // namespace velmora
