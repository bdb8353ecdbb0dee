#include "desktopcolorscheme.h"

#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr auto portalService = "org.freedesktop.portal.Desktop";
constexpr auto portalPath = "/org/freedesktop/portal/desktop";
constexpr auto settingsInterface = "org.freedesktop.portal.Settings";
constexpr auto appearanceNamespace = "org.freedesktop.appearance";
constexpr auto colorSchemeKey = "color-scheme";

// The portal's Read wraps the value in one variant more than its signature says on some
// versions; unwrap all of them.
QVariant unwrap(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

DesktopColorScheme::Preference preferenceFrom(const QVariant &value)
{
    bool ok = false;
    const uint code = unwrap(value).toUInt(&ok);
    if (!ok || code > 2)
        return DesktopColorScheme::Preference::None;
    return DesktopColorScheme::Preference(code);
}

} // namespace

// The portal's settings interface, declared so that its change signal can be connected to
// like any Qt signal.
class PortalSettings : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    PortalSettings(const QDBusConnection &connection, QObject *parent)
        : QDBusAbstractInterface(QString::fromLatin1(portalService),
                                 QString::fromLatin1(portalPath), settingsInterface, connection,
                                 parent)
    {}

Q_SIGNALS:
    void SettingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);
};

DesktopColorScheme::DesktopColorScheme(QObject *parent)
    : QObject(parent)
{
    if (qGuiApp)
        qGuiApp->installEventFilter(this);
    m_color = panelTextColor();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *settings = new PortalSettings(bus, this);
    connect(settings, &PortalSettings::SettingChanged, this,
            [this](const QString &nameSpace, const QString &key, const QDBusVariant &value) {
                if (nameSpace == QLatin1StringView(appearanceNamespace) &&
                    key == QLatin1StringView(colorSchemeKey))
                    setPreference(preferenceFrom(value.variant()));
            });
    // A portal that starts (or restarts) after us is asked afresh.
    auto *watcher = new QDBusServiceWatcher(QString::fromLatin1(portalService), bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                if (newOwner.isEmpty()) {
                    ++m_reads;
                    setPreference(Preference::None);
                } else {
                    read();
                }
            });
    read();
}

QColor DesktopColorScheme::panelTextColor() const
{
    switch (m_preference) {
    case Preference::Dark:
        return QColor(Qt::white);
    case Preference::Light:
        return QColor(Qt::black);
    case Preference::None:
        break;
    }
    return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

DesktopColorScheme::Preference DesktopColorScheme::preference() const
{
    return m_preference;
}

bool DesktopColorScheme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

void DesktopColorScheme::read()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
        QString::fromLatin1(settingsInterface), u"Read"_s);
    call << QString::fromLatin1(appearanceNamespace) << QString::fromLatin1(colorSchemeKey);
    const quint64 attempt = ++m_reads;
    auto *pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (attempt != m_reads)
                    return;
                // No portal, or one without the setting: the palette decides, quietly.
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                setPreference(reply.isError() ? Preference::None
                                              : preferenceFrom(reply.argumentAt(0)));
            });
}

void DesktopColorScheme::setPreference(Preference preference)
{
    m_preference = preference;
    update();
}

void DesktopColorScheme::update()
{
    const QColor color = panelTextColor();
    if (color == m_color)
        return;
    m_color = color;
    Q_EMIT changed();
}

} // namespace velmora

#include "desktopcolorscheme.moc"
