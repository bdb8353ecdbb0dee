#include "portalcolorscheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace velmora {

namespace {

constexpr auto portalService = "org.freedesktop.portal.Desktop";
constexpr auto portalPath = "/org/freedesktop/portal/desktop";
constexpr auto settingsInterface = "org.freedesktop.portal.Settings";
constexpr auto appearanceNamespace = "org.freedesktop.appearance";
constexpr auto colorSchemeKey = "color-scheme";

// color-scheme: 1 prefers dark, 2 prefers light, 0 (or anything else) no preference.
PortalColorScheme::Preference preferenceFrom(const QVariant &value)
{
    bool ok = false;
    const uint code = unwrapDBusVariant(value).toUInt(&ok);
    if (ok && code == 1)
        return PortalColorScheme::Preference::Dark;
    if (ok && code == 2)
        return PortalColorScheme::Preference::Light;
    return PortalColorScheme::Preference::None;
}

} // namespace

QVariant unwrapDBusVariant(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

PortalColorScheme::PortalColorScheme(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // A slot taking a QDBusVariant is found only once the type is known by name.
    qRegisterMetaType<QDBusVariant>();
    bus.connect(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
                QString::fromLatin1(settingsInterface), QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    // A portal that starts (or restarts) later is asked afresh.
    auto *watcher = new QDBusServiceWatcher(QString::fromLatin1(portalService), bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                ++m_reads;
                if (newOwner.isEmpty())
                    set(Preference::None);
                else
                    read();
            });
    read();
}

void PortalColorScheme::read()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
        QString::fromLatin1(settingsInterface), QStringLiteral("Read"));
    message.setArguments(
        {QString::fromLatin1(appearanceNamespace), QString::fromLatin1(colorSchemeKey)});
    const quint64 attempt = ++m_reads;
    auto *pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (attempt != m_reads)
                    return;
                // No portal, or one without the setting: no preference, quietly.
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                set(reply.isError() ? Preference::None : preferenceFrom(reply.argumentAt(0)));
            });
}

void PortalColorScheme::settingChanged(const QString &nameSpace, const QString &key,
                                       const QDBusVariant &value)
{
    if (nameSpace == QLatin1StringView(appearanceNamespace) &&
        key == QLatin1StringView(colorSchemeKey))
        set(preferenceFrom(value.variant()));
}

void PortalColorScheme::set(Preference preference)
{
    if (preference == m_preference)
        return;
    m_preference = preference;
    Q_EMIT changed();
}

} // namespace velmora
