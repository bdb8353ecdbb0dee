#include "statusservice.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qint64 rateIntervalMs = 1000;

} // namespace

class StatusAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.velmora.Velmora.Status")
    Q_PROPERTY(double DownloadRate READ downloadRate)
    Q_PROPERTY(double UploadRate READ uploadRate)
    Q_PROPERTY(bool Online READ online)
    Q_PROPERTY(QString ConnectionType READ connectionType)
    Q_PROPERTY(QString LocalIP READ localIP)
    Q_PROPERTY(QString PublicIP READ publicIP)
    Q_PROPERTY(QString CountryCode READ countryCode)
    Q_PROPERTY(QString Country READ country)
    Q_PROPERTY(QString City READ city)
    Q_PROPERTY(QString ISP READ isp)
    Q_PROPERTY(QString TimeZone READ timeZone)
    Q_PROPERTY(bool VpnLikely READ vpnLikely)
    Q_PROPERTY(QString GeoState READ geoState)
    Q_PROPERTY(QString GeoError READ geoError)
    Q_PROPERTY(QString SpeedUnit READ speedUnit)

public:
    StatusAdaptor(QObject *busObject, StatusService *service)
        : QDBusAbstractAdaptor(busObject)
        , m_service(service)
    {}

    double downloadRate() const { return record().downloadRate; }
    double uploadRate() const { return record().uploadRate; }
    bool online() const { return record().online; }
    QString connectionType() const { return record().connectionType; }
    QString localIP() const { return record().localIP; }
    QString publicIP() const { return record().publicIP; }
    QString countryCode() const { return record().countryCode; }
    QString country() const { return record().country; }
    QString city() const { return record().city; }
    QString isp() const { return record().isp; }
    QString timeZone() const { return record().timeZone; }
    bool vpnLikely() const { return record().vpnLikely; }
    QString geoState() const { return record().geoState; }
    QString geoError() const { return record().geoError; }
    QString speedUnit() const { return record().speedUnit; }

public Q_SLOTS:
    void Refresh() { Q_EMIT m_service->refreshRequested(); }

private:
    const StatusRecord &record() const { return m_service->record(); }

    StatusService *m_service;
};

QString StatusService::interfaceName()
{
    return u"app.velmora.Velmora.Status"_s;
}

StatusService::StatusService(QObject *busObject, QString objectPath, QObject *parent)
    : QObject(parent)
    , m_adaptor(new StatusAdaptor(busObject, this))
    , m_objectPath(std::move(objectPath))
{
    m_announce.setSingleShot(true);
    m_announce.callOnTimeout(this, &StatusService::announce);
}

StatusService::~StatusService()
{
    delete m_adaptor;
}

void StatusService::publish(const StatusRecord &record)
{
    m_record = record;
    // News other than the rates does not wait for theirs; whatever else changes in the same
    // turn of the event loop goes out with it.
    StatusRecord ratesAsTold = m_record;
    ratesAsTold.downloadRate = m_announced.downloadRate;
    ratesAsTold.uploadRate = m_announced.uploadRate;
    if (ratesAsTold != m_announced || (m_record != m_announced && !m_announce.isActive()))
        m_announce.start(0);
}

void StatusService::announce()
{
    StatusRecord told = m_record;
    const bool ratesMoved = m_record.downloadRate != m_announced.downloadRate ||
                            m_record.uploadRate != m_announced.uploadRate;
    const qint64 sinceRates = m_sinceRates.isValid() ? m_sinceRates.elapsed() : rateIntervalMs;
    if (ratesMoved && sinceRates < rateIntervalMs) {
        // The rates wait for their second; other news goes out now.
        told.downloadRate = m_announced.downloadRate;
        told.uploadRate = m_announced.uploadRate;
        m_announce.start(int(rateIntervalMs - sinceRates));
    } else if (ratesMoved) {
        m_sinceRates.start();
    }
    const QVariantMap now = told.toProperties();
    const QVariantMap before = m_announced.toProperties();
    m_announced = told;
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        m_objectPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    signal << interfaceName() << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

} // namespace velmora

#include "statusservice.moc"
