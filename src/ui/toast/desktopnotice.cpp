#include "desktopnotice.h"

#include "look.h"
#include "shownvalues.h"
#include "toastview.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QPainter>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace velmora {

// The service's signals, connected without introspection.
class NotificationsInterface : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    NotificationsInterface(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(u"org.freedesktop.Notifications"_s,
                                 u"/org/freedesktop/Notifications"_s,
                                 "org.freedesktop.Notifications", bus, parent)
    {}

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &action);
    void NotificationClosed(uint id, uint reason);
};

namespace {

constexpr auto defaultAction = "default";

// An image as the image-data hint carries it: width, height, row stride, alpha, bits per
// sample, samples per pixel, then the RGBA bytes.
struct HintImage
{
    QImage rgba;

    friend QDBusArgument &operator<<(QDBusArgument &out, const HintImage &image)
    {
        const QImage &i = image.rgba;
        out.beginStructure();
        out << i.width() << i.height() << int(i.bytesPerLine()) << true << 8 << 4
            << QByteArray(reinterpret_cast<const char *>(i.constBits()), i.sizeInBytes());
        out.endStructure();
        return out;
    }
    // Never read: the hint only goes out.
    friend const QDBusArgument &operator>>(const QDBusArgument &in, HintImage &) { return in; }
};

// The flag drawn in the colour emoji font.
HintImage flagImage(const QString &flag)
{
    constexpr int side = 64;
    QImage image(side, side, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QFont font = flagFont();
    font.setPixelSize(side * 3 / 4);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, flag);
    return {image};
}

} // namespace

DesktopNotice::DesktopNotice(std::function<void()> onTap, const QDBusConnection &bus,
                             QObject *parent)
    : QObject(parent)
    , m_onTap(std::move(onTap))
    , m_service(new NotificationsInterface(bus, this))
{
    qDBusRegisterMetaType<HintImage>();
    connect(m_service, &NotificationsInterface::ActionInvoked, this,
            [this](uint id, const QString &action) {
                if (id == m_id && id != 0 && action == QLatin1StringView(defaultAction) && m_onTap)
                    m_onTap();
            });
    connect(m_service, &NotificationsInterface::NotificationClosed, this, [this](uint id, uint) {
        if (id == m_id)
            m_id = 0;
    });
}

DesktopNotice::~DesktopNotice() = default;

void DesktopNotice::show(const GeoInfo &old, const GeoInfo &now, std::chrono::milliseconds onScreen)
{
    Notice notice{.summary = Shown::changeTitle(old, now),
                  .lines = {Shown::changedAddresses(old, now)},
                  .flag = now.flag(),
                  .onScreen = onScreen};
    if (const auto place = Shown::previousPlace(old, now))
        notice.lines << *place;
    m_waiting = notice;
    m_closeWhenShown = false;
    sendWaiting();
}

void DesktopNotice::sendWaiting()
{
    if (!m_waiting || m_asking)
        return;
    if (!m_markup)
        askForMarkup();
    else
        send(*std::exchange(m_waiting, std::nullopt));
}

void DesktopNotice::askForMarkup()
{
    // The body must be escaped for a service that reads markup: a country's name comes from
    // the network. Asked once, before the first notice.
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(m_service->asyncCall(u"GetCapabilities"_s), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QStringList> capabilities = *watcher;
        m_markup = capabilities.isValid() && capabilities.value().contains(u"body-markup"_s);
        sendWaiting();
    });
}

void DesktopNotice::send(const Notice &notice)
{
    QString body = notice.lines.join(u'\n');
    if (*m_markup)
        body = body.toHtmlEscaped();
    QVariantMap hints{{u"desktop-entry"_s, u"app.velmora.Velmora"_s}};
    if (!notice.flag.isEmpty())
        hints.insert(u"image-data"_s, QVariant::fromValue(flagImage(notice.flag)));
    const QDBusPendingCall call =
        m_service->asyncCall(u"Notify"_s, u"Velmora"_s, m_id, QString(), notice.summary, body,
                             QStringList{QString::fromLatin1(defaultAction), tr("Open Velmora")},
                             hints, int(notice.onScreen.count()));
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_asking = false;
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_id = reply.value();
        else
            std::fprintf(stderr,
                         "velmora: the desktop's notification service did not show the new "
                         "address: %s\n",
                         qPrintable(reply.error().message()));
        if (std::exchange(m_closeWhenShown, false))
            closeShown();
        sendWaiting();
    });
}

void DesktopNotice::close()
{
    m_waiting.reset();
    // A notice on its way is closed as soon as the service says which one it is.
    m_closeWhenShown = m_asking;
    closeShown();
}

void DesktopNotice::closeShown()
{
    if (m_id != 0)
        m_service->asyncCall(u"CloseNotification"_s, std::exchange(m_id, 0));
}

} // namespace velmora

#include "desktopnotice.moc"
