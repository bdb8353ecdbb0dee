#include "desktopcolorscheme.h"

#include "platform/portalcolorscheme.h"

#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QPalette>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr auto xfconfService = "org.xfce.Xfconf";
constexpr auto xfconfPath = "/org/xfce/Xfconf";

PanelShade shadeFrom(PortalColorScheme::Preference preference)
{
    switch (preference) {
    case PortalColorScheme::Preference::Dark:
        return PanelShade::Dark;
    case PortalColorScheme::Preference::Light:
        return PanelShade::Light;
    case PortalColorScheme::Preference::None:
        break;
    }
    return PanelShade::Unknown;
}

// The window colour of the palette the application has now; invalid where it is Qt's own
// fallback (#efefef), which Qt uses on desktops it has no platform theme for (LXQt's is
// for Qt 5 alone): that palette is light whatever the desktop looks like.
QColor paletteWindow()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Active, QPalette::Window);
    return window == QColor(0xef, 0xef, 0xef) ? QColor() : window;
}

QDBusMessage call(const char *service, const char *path, const char *interface,
                  const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(path),
                                       QString::fromLatin1(interface), method);
    message.setArguments(arguments);
    return message;
}

} // namespace

// xfconf's change signal, for the same reason.
class XfconfSettings : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    XfconfSettings(const QDBusConnection &connection, QObject *parent)
        : QDBusAbstractInterface(QString::fromLatin1(xfconfService),
                                 QString::fromLatin1(xfconfPath), xfconfService, connection, parent)
    {}

Q_SIGNALS:
    void PropertyChanged(const QString &channel, const QString &property,
                         const QDBusVariant &value);
};

DesktopColorScheme::DesktopColorScheme(const QString &currentDesktop, QObject *parent)
    : QObject(parent)
    , m_rule(panelRuleFor(currentDesktop))
    , m_portal(new PortalColorScheme(this))
    , m_paletteWindow(paletteWindow())
{
    switch (m_rule) {
    case PanelRule::Dark:
        m_desktop = PanelShade::Dark;
        break;
    case PanelRule::Light:
        m_desktop = PanelShade::Light;
        break;
    case PanelRule::PlasmaTheme:
        watchPlasma();
        break;
    case PanelRule::XfcePanel:
        watchXfconf();
        break;
    case PanelRule::Unknown:
        break;
    }
    m_color = panelTextColor();
    m_known = knowsPanel();
    if (qGuiApp)
        qGuiApp->installEventFilter(this);
    connect(m_portal, &PortalColorScheme::changed, this, &DesktopColorScheme::update);
}

QColor DesktopColorScheme::panelTextColor() const
{
    const PanelShade shade = panelShade(m_desktop, portalShade(), m_paletteWindow);
    return textColorFor(shade == PanelShade::Unknown ? PanelShade::Light : shade);
}

bool DesktopColorScheme::knowsPanel() const
{
    return panelShade(m_desktop, portalShade(), m_paletteWindow) != PanelShade::Unknown;
}

PanelShade DesktopColorScheme::portalShade() const
{
    return shadeFrom(m_portal->preference());
}

bool DesktopColorScheme::eventFilter(QObject *watched, QEvent *event)
{
    // Only a palette the platform hands over is the desktop's. One the program set itself
    // (its theme) has roles resolved explicitly and says nothing about the panel.
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange &&
        QGuiApplication::palette().resolveMask() == 0) {
        m_paletteWindow = paletteWindow();
        update();
    }
    return QObject::eventFilter(watched, event);
}

void DesktopColorScheme::watchPlasma()
{
    // KDE replaces its files rather than writing into them: watch the directory.
    m_files = new QFileSystemWatcher(this);
    m_files->addPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    connect(m_files, &QFileSystemWatcher::directoryChanged, this, &DesktopColorScheme::readPlasma);
    readPlasma();
}

void DesktopColorScheme::readPlasma()
{
    const QColor panel =
        plasmaPanelColor(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation));
    setDesktop(shadeOf(panel));
}

void DesktopColorScheme::watchXfconf()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *settings = new XfconfSettings(bus, this);
    connect(settings, &XfconfSettings::PropertyChanged, this,
            [this](const QString &channel, const QString &property) {
                if ((channel == "xfce4-panel"_L1 && property == "/panels/dark-mode"_L1) ||
                    (channel == "xsettings"_L1 && property == "/Net/ThemeName"_L1))
                    readXfconf();
            });
    auto *watcher = new QDBusServiceWatcher(QString::fromLatin1(xfconfService), bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &DesktopColorScheme::readXfconf);
    readXfconf();
}

void DesktopColorScheme::readXfconf()
{
    // The panels' dark mode first; without it, the GTK theme they draw in.
    const quint64 attempt = ++m_xfconfReads;
    const auto ask = [this](const QString &method, const QString &channel,
                            const QString &property) {
        return new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(
                call(xfconfService, xfconfPath, xfconfService, method, {channel, property}), 5000),
            this);
    };
    auto *panels = ask(u"GetAllProperties"_s, u"xfce4-panel"_s, u"/panels"_s);
    connect(panels, &QDBusPendingCallWatcher::finished, this, [=, this] {
        panels->deleteLater();
        const QDBusMessage answer = panels->reply();
        if (attempt != m_xfconfReads)
            return;
        if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
            return setDesktop(PanelShade::Unknown); // no xfconf: not an Xfce session after all
        QVariantMap properties;
        answer.arguments().first().value<QDBusArgument>() >> properties;
        // Xfce 4.18 asks every panel for the theme's dark variant at once, by default.
        if (unwrapDBusVariant(properties.value(u"/panels/dark-mode"_s)).toBool())
            return setDesktop(PanelShade::Dark);
        auto *theme = ask(u"GetProperty"_s, u"xsettings"_s, u"/Net/ThemeName"_s);
        connect(theme, &QDBusPendingCallWatcher::finished, this, [this, attempt, theme] {
            theme->deleteLater();
            if (attempt != m_xfconfReads)
                return;
            // An unset theme is Xfce's default, a light one.
            const QDBusPendingReply<QDBusVariant> name = *theme;
            const QString gtkTheme =
                name.isError() ? QString() : unwrapDBusVariant(name.argumentAt(0)).toString();
            setDesktop(isDarkGtkTheme(gtkTheme) ? PanelShade::Dark : PanelShade::Light);
        });
    });
}

void DesktopColorScheme::setDesktop(PanelShade shade)
{
    m_desktop = shade;
    update();
}

void DesktopColorScheme::update()
{
    const QColor color = panelTextColor();
    const bool known = knowsPanel();
    if (color == m_color && known == m_known)
        return;
    m_color = color;
    m_known = known;
    Q_EMIT changed();
}

} // namespace velmora

#include "desktopcolorscheme.moc"
