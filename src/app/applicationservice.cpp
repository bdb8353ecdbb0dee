#include "applicationservice.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QtDebug>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr int callTimeoutMs = 5'000;

// org.freedesktop.Application as the desktop calls it: activation, URLs, named actions.
class ApplicationAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(ApplicationService *service)
        : QDBusAbstractAdaptor(service)
        , m_service(service)
    {}

public Q_SLOTS:
    void Activate(const QVariantMap &platformData)
    {
        m_service->handle(applicationRequest(u"Activate"_s, {platformData}));
    }

    void Open(const QStringList &uris, const QVariantMap &platformData)
    {
        m_service->handle(applicationRequest(u"Open"_s, {uris, platformData}));
    }

    void ActivateAction(const QString &actionName, const QVariantList &parameter,
                        const QVariantMap &platformData)
    {
        m_service->handle(
            applicationRequest(u"ActivateAction"_s, {actionName, parameter, platformData}));
    }

private:
    ApplicationService *m_service;
};

} // namespace

QString ApplicationService::serviceName()
{
    return u"app.velmora.Velmora"_s;
}

QString ApplicationService::objectPath()
{
    return u"/app/velmora/Velmora"_s;
}

ApplicationService::ApplicationService(QObject *parent)
    : QObject(parent)
{
    new ApplicationAdaptor(this);
}

ApplicationService::Claim ApplicationService::claim(QString *reason)
{
    return claimInstance(serviceName(), objectPath(), this, QDBusConnection::ExportAdaptors,
                         reason);
}

void ApplicationService::handle(const std::expected<ApplicationRequest, QString> &request)
{
    if (request)
        Q_EMIT requested(*request);
    else
        qWarning().noquote() << u"velmora: %1"_s.arg(request.error());
}

std::expected<void, QString> ApplicationService::forward(const QStringList &urls)
{
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), objectPath(),
                                                       u"org.freedesktop.Application"_s,
                                                       urls.isEmpty() ? u"Activate"_s : u"Open"_s);
    if (urls.isEmpty())
        call << QVariantMap();
    else
        call << urls << QVariantMap();
    const QDBusMessage answer =
        QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage)
        return std::unexpected(answer.errorMessage());
    return {};
}

} // namespace velmora

#include "applicationservice.moc"
