#include "statusnotifieritem.h"

#include "dbusmenu.h"
#include "traymenu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QtEndian>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstring>

using namespace Qt::StringLiterals;

namespace velmora::sni {

// One picture as the protocol carries it: ARGB32, each pixel in network byte order.
struct Pixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb{};
};
using PixmapList = QList<Pixmap>;

struct ToolTip
{
    QString iconName{};
    PixmapList pixmaps{};
    QString title{};
    QString description{};
};

QDBusArgument &operator<<(QDBusArgument &argument, const Pixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Pixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ToolTip &toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ToolTip &toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.description;
    argument.endStructure();
    return argument;
}

} // namespace velmora::sni

Q_DECLARE_METATYPE(velmora::sni::Pixmap)
Q_DECLARE_METATYPE(velmora::sni::ToolTip)

namespace velmora {

namespace {

constexpr auto itemPath = "/StatusNotifierItem";
constexpr auto menuPath = "/MenuBar";
constexpr auto watcherPath = "/StatusNotifierWatcher";
constexpr auto watcherInterface = "org.kde.StatusNotifierWatcher";
constexpr int registrationTimeoutMs = 5000;
constexpr int registrationRetryMs = 100;
constexpr int registrationRetries = 30;

// The protocol's form: unpremultiplied ARGB, each pixel a big-endian word, in one pass over
// a picture redrawn every second. Most of it is transparent, taken four pixels at a time, and
// only the antialiased edges need dividing.
sni::Pixmap toPixmap(const QImage &image)
{
    const QImage source = image.format() == QImage::Format_ARGB32_Premultiplied
                              ? image
                              : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = source.width();
    sni::Pixmap pixmap{width, source.height(),
                       QByteArray(qsizetype(width) * source.height() * 4, Qt::Uninitialized)};
    auto *out = reinterpret_cast<uchar *>(pixmap.argb.data());
    const auto put = [&out](QRgb pixel) {
        const uint alpha = qAlpha(pixel);
        qToBigEndian(alpha == 0 || alpha == 255 ? pixel : qUnpremultiply(pixel), out);
        out += 4;
    };
    for (int y = 0; y < source.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            quint64 first, second;
            std::memcpy(&first, line + x, 8);
            std::memcpy(&second, line + x + 2, 8);
            if ((first | second) == 0) {
                std::memset(out, 0, 16);
                out += 16;
                continue;
            }
            for (int i = 0; i < 4; ++i)
                put(line[x + i]);
        }
        for (; x < width; ++x)
            put(line[x]);
    }
    return pixmap;
}

// QImage's own comparison ignores the pixel ratio, which changes what the host shows.
bool sameImages(const QList<QImage> &a, const QList<QImage> &b)
{
    return std::ranges::equal(a, b, [](const QImage &x, const QImage &y) {
        return x.devicePixelRatio() == y.devicePixelRatio() && x == y;
    });
}

std::atomic_int itemCounter{0};

} // namespace

// The org.kde.StatusNotifierItem interface. Properties are read by the host when it is told
// something changed, so the item keeps them ready in protocol form. The adaptor sits on an
// object of its own (exported at the item's path), so that the item can show a host this
// one or the one with labels.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(QString IconName READ empty)
    Q_PROPERTY(velmora::sni::PixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(velmora::sni::PixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(velmora::sni::PixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(velmora::sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    // Hosts read every property when they set an item up; one that is missing makes some
    // of them (GNOME Shell's AppIndicator extension) give up on the item.
    Q_PROPERTY(QString IconAccessibleDesc READ iconAccessibleDesc)
    Q_PROPERTY(QString AttentionAccessibleDesc READ empty)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    StatusNotifierItemAdaptor(QObject *exported, StatusNotifierItem *item)
        : QDBusAbstractAdaptor(exported)
        , m_item(item)
    {
        // Signals of an adaptor reach the bus only when it asks for it.
        setAutoRelaySignals(true);
    }

    QString category() const { return u"ApplicationStatus"_s; }
    QString id() const { return m_item->m_id; }
    QString title() const { return u"Velmora"_s; }
    QString status() const { return u"Active"_s; }
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    sni::PixmapList iconPixmap() const { return m_pixmaps; }
    sni::PixmapList noPixmaps() const { return {}; }
    sni::ToolTip toolTip() const { return {{}, {}, m_item->m_toolTip, {}}; }
    bool itemIsMenu() const { return false; }
    // For hosts that open the menu rather than calling Activate. Published, even where it is
    // kept empty, as some hosts never draw an item without one.
    QDBusObjectPath menu() const
    {
        return QDBusObjectPath(m_item->m_menu ? QString::fromLatin1(menuPath) : u"/NO_DBUSMENU"_s);
    }
    // What a screen reader says for the picture: the rates and place it shows.
    QString iconAccessibleDesc() const
    {
        return m_item->m_label.isEmpty() ? m_item->m_toolTip
                                         : m_item->m_toolTip + u", "_s + m_item->m_label;
    }
    uint orderingIndex() const { return 0; }

    void setPixmaps(sni::PixmapList pixmaps) { m_pixmaps = std::move(pixmaps); }

public Q_SLOTS:
    void Activate(int x, int y) { Q_EMIT m_item->activated(m_item->anchorAt(x, y)); }
    void SecondaryActivate(int x, int y) { Activate(x, y); }
    // Called by hosts that do not draw the published menu.
    void ContextMenu(int x, int y)
    {
        const QRect anchor = m_item->anchorAt(x, y);
        popUpTrayMenu(*m_item, anchor.isNull() ? QCursor::pos() : anchor.topLeft());
    }
    void Scroll(int delta, const QString &orientation)
    {
        Q_UNUSED(delta);
        Q_UNUSED(orientation);
    }

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

protected:
    StatusNotifierItem *m_item;

private:
    sni::PixmapList m_pixmaps;
};

// The item for hosts that draw its text label beside the picture. Other hosts do not see the
// label properties at all: some of them draw a label that exists, even an empty one, in place
// of the picture.
class LabelledItemAdaptor : public StatusNotifierItemAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

public:
    using StatusNotifierItemAdaptor::StatusNotifierItemAdaptor;

    QString label() const { return m_item->m_label; }
    QString labelGuide() const { return m_item->m_labelGuide; }

Q_SIGNALS:
    void XAyatanaNewLabel(const QString &label, const QString &guide);
};

StatusNotifierItem::StatusNotifierItem(const QString &id, QObject *parent)
    : TrayItem(parent)
    , m_id(id)
    , m_number(++itemCounter)
    , m_connectionName(u"velmora-status-notifier-item-%1"_s.arg(m_number))
    , m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName))
{
    qDBusRegisterMetaType<sni::Pixmap>();
    qDBusRegisterMetaType<sni::PixmapList>();
    qDBusRegisterMetaType<sni::ToolTip>();

    if (!m_connection.isConnected())
        return;
    m_plain = new StatusNotifierItemAdaptor(new QObject(this), this);
    m_labelled = new LabelledItemAdaptor(new QObject(this), this);
    m_adaptor = m_plain;
    const QString service =
        u"org.kde.StatusNotifierItem-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(m_number);
    if (!m_connection.registerObject(QString::fromLatin1(itemPath), m_adaptor->parent(),
                                     QDBusConnection::ExportAdaptors) ||
        !m_connection.registerService(service)) {
        m_connection.unregisterObject(QString::fromLatin1(itemPath));
        return;
    }
    m_serviceName = service;

    m_menu = new DBusMenu(m_connection, QString::fromLatin1(menuPath), this);
    if (m_menu->isExported()) {
        publishMenu();
        connect(m_menu, &DBusMenu::triggered, this, [this](int index) {
            const QList<MenuLine> lines = menu();
            if (index >= 0 && index < lines.size() && lines.at(index).action)
                Q_EMIT menuActionTriggered(*lines.at(index).action);
        });
    } else {
        delete m_menu;
        m_menu = nullptr;
    }

    // Watch before asking, so a watcher that starts in between is not missed.
    m_watcher = new QDBusServiceWatcher(QString::fromLatin1(watcherService), m_connection,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                ++m_registration;
                setShown(false);
                setWatcherPresent(!newOwner.isEmpty());
                if (!newOwner.isEmpty()) {
                    identifyWatcher();
                    registerWithWatcher(registrationRetries);
                }
            });
    if (m_connection.interface()->isServiceRegistered(QString::fromLatin1(watcherService))) {
        m_watcherPresent = true;
        identifyWatcher();
        registerWithWatcher(registrationRetries);
    }
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (!m_serviceName.isEmpty()) {
        m_connection.unregisterService(m_serviceName);
        m_connection.unregisterObject(QString::fromLatin1(itemPath));
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void StatusNotifierItem::setIcon(const QList<QImage> &images)
{
    if (sameImages(images, m_images))
        return;
    m_images = images;
    if (!m_adaptor)
        return;
    sni::PixmapList pixmaps;
    for (const QImage &image : images) {
        if (!image.isNull())
            pixmaps.append(toPixmap(image));
    }
    m_plain->setPixmaps(pixmaps);
    m_labelled->setPixmaps(std::move(pixmaps));
    Q_EMIT m_adaptor->NewIcon();
}

void StatusNotifierItem::setToolTip(const QString &text)
{
    if (text == m_toolTip)
        return;
    m_toolTip = text;
    if (m_adaptor)
        Q_EMIT m_adaptor->NewToolTip();
}

void StatusNotifierItem::setLabel(const QString &label, const QString &guide)
{
    if (label == m_label && guide == m_labelGuide)
        return;
    m_label = label;
    m_labelGuide = guide;
    if (m_adaptor == m_labelled)
        Q_EMIT m_labelled->XAyatanaNewLabel(label, guide);
}

bool StatusNotifierItem::isShown() const
{
    return m_shown;
}

TrayRendering StatusNotifierItem::rendering() const
{
    return m_host.rendering;
}

QSize StatusNotifierItem::slotSize() const
{
    return m_host.iconSize > 0 ? QSize(m_host.iconSize, m_host.iconSize) : QSize();
}

void StatusNotifierItem::identifyWatcher()
{
    // Answered by the bus itself, so these calls cannot hang on a stuck watcher. Bus names
    // also tell the host across PID namespaces, where the process id means nothing here.
    QDBusConnectionInterface *bus = m_connection.interface();
    const QString watcher = bus->serviceOwner(QString::fromLatin1(watcherService));
    const auto processName = [bus](const QString &owner) {
        QFile comm(u"/proc/%1/comm"_s.arg(bus->servicePid(owner).value()));
        return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                              : QString();
    };
    QStringList identities;
    if (!watcher.isEmpty()) {
        identities.append(processName(watcher));
        for (const QString &name : bus->registeredServiceNames().value()) {
            // A watcher that runs on its own says nothing of the host that draws the items;
            // the hosts' processes do.
            if (name.startsWith("org.kde.StatusNotifierHost-"_L1))
                identities.append(processName(bus->serviceOwner(name)));
            // Only names the table knows are worth asking their owner for.
            else if (hostForWatcher({name}) && bus->serviceOwner(name).value() == watcher)
                identities.append(name);
        }
    }
    const TrayHost host = hostForWatcher(identities).value_or(TrayHost{});
    const bool changed = host.rendering != m_host.rendering;
    const bool resized = host.iconSize != m_host.iconSize;
    m_host = host;
    // A host that also finds items on the bus by itself must not find the well-known name
    // either, or it registers that name as an item of its own.
    if (host.registersByPath)
        m_connection.unregisterService(m_serviceName);
    else
        m_connection.registerService(m_serviceName);
    // Shown to the host before the item registers with it, which is when hosts read it.
    StatusNotifierItemAdaptor *adaptor =
        host.rendering == TrayRendering::Label ? m_labelled : m_plain;
    if (adaptor != m_adaptor && !m_serviceName.isEmpty()) {
        m_connection.unregisterObject(QString::fromLatin1(itemPath));
        m_adaptor = adaptor;
        m_connection.registerObject(QString::fromLatin1(itemPath), m_adaptor->parent(),
                                    QDBusConnection::ExportAdaptors);
    }
    publishMenu();
    if (changed)
        Q_EMIT renderingChanged(host.rendering);
    if (resized)
        Q_EMIT slotSizeChanged();
}

void StatusNotifierItem::publishMenu()
{
    if (!m_menu)
        return;
    // Empty where a menu would take the left click from the popover.
    QList<MenuEntry> entries;
    if (!m_host.leftClickOpensMenu) {
        for (const MenuLine &line : menu())
            entries.append({line.label, !line.action});
    }
    m_menu->setEntries(entries);
}

bool StatusNotifierItem::isPublished() const
{
    return !m_serviceName.isEmpty();
}

bool StatusNotifierItem::isWatcherPresent() const
{
    return m_watcherPresent;
}

QString StatusNotifierItem::serviceName() const
{
    return m_serviceName;
}

void StatusNotifierItem::registerWithWatcher(int retries)
{
    const quint64 attempt = ++m_registration;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherService), QString::fromLatin1(watcherPath),
        QString::fromLatin1(watcherInterface), u"RegisterStatusNotifierItem"_s);
    call << (m_host.registersByPath ? QString::fromLatin1(itemPath) : m_serviceName);
    auto *pending =
        new QDBusPendingCallWatcher(m_connection.asyncCall(call, registrationTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt, retries](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (attempt != m_registration)
                    return;
                const QDBusPendingReply<> reply = *finished;
                if (!reply.isError()) {
                    setShown(true);
                    return;
                }
                const QDBusError::ErrorType type = reply.error().type();
                // A watcher that went away is reported by the service watcher.
                if (type == QDBusError::ServiceUnknown)
                    return;
                // A starting watcher owns its name a moment before it serves its object.
                const bool starting = type == QDBusError::UnknownObject ||
                                      type == QDBusError::UnknownInterface ||
                                      type == QDBusError::UnknownMethod;
                if (starting && retries > 0) {
                    QTimer::singleShot(registrationRetryMs, this, [this, attempt, retries] {
                        if (attempt == m_registration)
                            registerWithWatcher(retries - 1);
                    });
                    return;
                }
                // One that refuses us (or does not answer) will not show us; stop counting on
                // it until it restarts.
                qWarning("velmora: the tray watcher did not take the item: %s",
                         qPrintable(reply.error().message()));
                setWatcherPresent(false);
            });
}

void StatusNotifierItem::setShown(bool shown)
{
    if (m_shown == shown)
        return;
    m_shown = shown;
    Q_EMIT shownChanged(shown);
}

void StatusNotifierItem::setWatcherPresent(bool present)
{
    if (m_watcherPresent == present)
        return;
    m_watcherPresent = present;
    Q_EMIT watcherPresenceChanged(present);
}

QRect StatusNotifierItem::anchorAt(int x, int y) const
{
    if (!m_host.reportsClickPoint)
        return {};
    // Qt keeps each screen's origin and scales its extent by the pixel ratio.
    const QPoint native(x, y);
    QRect extent;
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        const QRect nativeRect(logical.topLeft(), (QSizeF(logical.size()) * ratio).toSize());
        if (nativeRect.contains(native)) {
            const QPointF offset = QPointF(native - logical.topLeft()) / ratio;
            return {logical.topLeft() + offset.toPoint(), QSize(1, 1)};
        }
        extent |= logical;
    }
    if (extent.isNull())
        return {};
    // Any caller on the bus may send any number: one off every screen stays off them, just
    // past the nearest edge, where the arithmetic of placing a window cannot overflow.
    extent.adjust(-1, -1, 1, 1);
    return {QPoint(std::clamp(x, extent.left(), extent.right()),
                   std::clamp(y, extent.top(), extent.bottom())),
            QSize(1, 1)};
}

} // namespace velmora

#include "statusnotifieritem.moc"
