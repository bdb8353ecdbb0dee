#include "statusservice.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

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
    // The rates' PropertiesChanged for the caller's connection, for as long as it lasts.
    void FollowRates(const QDBusMessage &call) { m_service->addFollower(call.service()); }

private:
    StatusRecord record() const { return m_service->record(); }

    StatusService *m_service;
};

QString StatusService::interfaceName()
{
    return u"app.velmora.Velmora.Status"_s;
}

StatusService::StatusService(QObject *busObject, QString objectPath,
                             std::function<StatusRecord()> source, QObject *parent)
    : QObject(parent)
    , m_adaptor(new StatusAdaptor(busObject, this))
    , m_objectPath(std::move(objectPath))
    , m_source(std::move(source))
    , m_announced(m_source())
{
    m_followers.setConnection(QDBusConnection::sessionBus());
    m_followers.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    m_announce.setSingleShot(true);
    m_announce.callOnTimeout(this, &StatusService::announce);
    connect(&m_followers, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString &connection) { m_followers.removeWatchedService(connection); });
}

StatusService::~StatusService()
{
    delete m_adaptor;
}

void StatusService::addFollower(const QString &connection)
{
    if (!connection.isEmpty() && !m_followers.watchedServices().contains(connection))
        m_followers.addWatchedService(connection);
}

void StatusService::changed()
{
    // Whatever else changes in the same turn of the event loop goes out with it.
    m_announce.start(0);
}

void StatusService::ratesChanged()
{
    if (hasFollowers() && !m_announce.isActive())
        m_announce.start(0);
}

void StatusService::announce()
{
    const StatusRecord now = m_source();
    StatusRecord told = now;
    const bool ratesMoved =
        now.downloadRate != m_announced.downloadRate || now.uploadRate != m_announced.uploadRate;
    const qint64 sinceRates = m_sinceRates.isValid() ? m_sinceRates.elapsed() : rateIntervalMs;
    if (ratesMoved && (!hasFollowers() || sinceRates < rateIntervalMs)) {
        // The rates wait for a follower, and for their second; other news goes out now.
        told.downloadRate = m_announced.downloadRate;
        told.uploadRate = m_announced.uploadRate;
        if (hasFollowers())
            m_announce.start(int(rateIntervalMs - sinceRates));
    } else if (ratesMoved) {
        m_sinceRates.start();
    }
    const QVariantMap after = told.toProperties();
    const QVariantMap before = m_announced.toProperties();
    m_announced = told;
    QVariantMap news;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            news.insert(it.key(), it.value());
    }
    if (news.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        m_objectPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    signal << interfaceName() << news << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

} // namespace velmora

#include "statusservice.moc"
