// The real desktop shells as DesktopSession components, and the X-side queries they need.

#include "desktopsession.h"
#include "testhelpers.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStandardPaths>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora {

namespace {

// Daemons Debian keeps in a multiarch libexec directory, e.g. /usr/lib/x86_64-linux-gnu/….
QString libexecProgram(const QString &relativePath)
{
    const QDir lib(u"/usr/lib"_s);
    for (const QString &sub : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo(lib.filePath(sub + u'/' + relativePath)).isExecutable())
            return lib.filePath(sub + u'/' + relativePath);
    }
    return u"/usr/lib/*/"_s + relativePath; // to name it when it is missing
}

// Runs shellCommand in private mount and PID namespaces with a system bus of its own on
// /run/dbus; the namespace's processes all die with it.
QStringList withPrivateSystemBus(const QString &busConfig, const QString &shellCommand)
{
    return u"unshare --mount --propagation private --pid --fork --kill-child -- sh -c"_s.split(u' ')
           << u"mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs tmpfs /run/systemd && "
              "dbus-daemon --config-file='%1' --fork && exec %2"_s.arg(busConfig, shellCommand);
}

// One panel across the top with the tray and a clock, so no first-run dialog asks for one.
constexpr char xfcePanelConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="dark-mode" type="bool" value="DARK"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="26"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
        <value type="int" value="3"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
    <property name="plugin-3" type="string" value="clock"/>
  </property>
</channel>
)";

} // namespace

DesktopSession::Outcome DesktopSession::startShell(Component component)
{
    const bool gnome = component == Component::GnomeShell, xfce = component == Component::Xfce,
               lxqt = component == Component::Lxqt, iceWm = component == Component::IceWm;
    const bool plasma = component == Component::Plasma;
    const QString xfconfd = libexecProgram(u"xfce4/xfconf/xfconfd"_s);
    const QString activities = libexecProgram(u"libexec/kactivitymanagerd"_s);
    const QStringList needed =
        gnome   ? QStringList{u"gnome-shell"_s,
                            u"/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com"_s}
        : xfce  ? QStringList{u"xfce4-panel"_s, xfconfd}
        : lxqt  ? QStringList{u"lxqt-panel"_s}
        : iceWm ? QStringList{u"icewm-session"_s}
                : QStringList{u"plasmashell"_s, u"kded5"_s, activities};
    for (const QString &program : needed) {
        if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo::exists(program))
            return Outcome::missing(program + u" is not installed"_s);
    }
    if ((gnome || plasma) && ::geteuid() != 0)
        return Outcome::missing(u"the shell's private system bus needs root"_s);
    const QString config = m_dir.filePath(u"config/"_s);
    // GNOME Shell and Plasma wait out long D-Bus timeouts, or give up, without a system bus, and
    // the host's own must not see them.
    const QString busConfig = m_dir.filePath(u"system-bus.conf"_s);
    test::writeFile(busConfig,
                    busConfiguration("system", u"unix:path=/run/dbus/system_bus_socket"_s));
    Outcome outcome;
    QStringList command;
    std::function<bool()> ready = [this] { return hostRegistered(); };
    if (gnome) {
        test::writeFile(config + u"glib-2.0/settings/keyfile"_s,
                        "[org/gnome/shell]\n"
                        "enabled-extensions=['ubuntu-appindicators@ubuntu.com']\n"
                        "disable-user-extensions=false\n"
                        "welcome-dialog-last-shown-version='43.0'\n");
        command = withPrivateSystemBus(busConfig, u"gnome-shell --x11 --replace"_s);
    } else if (xfce) {
        test::writeFile(
            config + u"xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"_s,
            QByteArray(xfcePanelConfig).replace("DARK", m_lightPanels ? "false" : "true"));
        outcome = launch(component, {xfconfd}, [this] { return busHasName(u"org.xfce.Xfconf"_s); });
        command = {u"xfce4-panel"_s};
    } else if (lxqt) {
        // The default theme (Debian's Clearlooks) is light; "dark" comes with LXQt.
        if (!m_lightPanels)
            test::writeFile(config + u"lxqt/lxqt.conf"_s, "[General]\ntheme=dark\n");
        command = {u"lxqt-panel"_s};
    } else if (iceWm) {
        // A clock with seconds and load graphs change the task bar every second where the test
        // looks for what is new: minutes, as the other panels' clocks show, and no graphs.
        test::writeFile(config + u"icewm/preferences"_s,
                        "TimeFormat=\"%H:%M\"\nTaskBarShowCPUStatus=0\n"
                        "TaskBarShowMEMStatus=0\nTaskBarShowNetStatus=0\n");
        command = {u"icewm-session"_s};
        ready = [this] { return ownsSelection("_NET_SYSTEM_TRAY_S0"); };
    } else {
        test::writeFile(config + u"plasmarc"_s,
                        m_lightPanels ? "[Theme]\nname=default\n" : "[Theme]\nname=breeze-dark\n");
        const auto watcherLoaded = [this] {
            const QDBusReply<bool> loaded =
                bus().call(QDBusMessage::createMethodCall(u"org.kde.kded5"_s, u"/kded"_s,
                                                          u"org.kde.kded5"_s, u"loadModule"_s)
                               << u"statusnotifierwatcher"_s,
                           QDBus::Block, 2000);
            return loaded.isValid() && loaded.value();
        };
        // Without the activity manager, plasmashell aborts and kded5's configuration update
        // hangs for 30 s.
        outcome = launch(component, {activities},
                         [this] { return busHasName(u"org.kde.ActivityManager"_s); });
        if (outcome)
            outcome = launch(component, {u"kded5"_s}, watcherLoaded);
        command = withPrivateSystemBus(busConfig, u"plasmashell --no-respawn"_s);
        // kded5's watcher reports a host as soon as it runs; the panel's own name counts.
        ready = [this] { return busHasName(u"org.kde.StatusNotifierHost-"_s, true); };
    }
    if (outcome)
        outcome = launch(component, command, ready);
    if (outcome && gnome) {
        // GNOME opens its overview once it has started; the overview covers the desktop and
        // takes the first click. Wait for it, briefly, then close it.
        // Plain property calls: an introspected interface's cached description would outlive
        // the bus connection and count as a leak.
        const auto overview = [this](const QString &method, const QVariantList &value = {}) {
            QDBusMessage message =
                QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s,
                                               u"org.freedesktop.DBus.Properties"_s, method);
            message.setArguments(QVariantList{u"org.gnome.Shell"_s, u"OverviewActive"_s} + value);
            const QDBusReply<QDBusVariant> reply = bus().call(message, QDBus::Block, 2000);
            return reply.isValid() && reply.value().variant().toBool();
        };
        waitUntil([&] { return overview(u"Get"_s); }, 5s);
        overview(u"Set"_s, {QVariant::fromValue(QDBusVariant(false))});
        if (!waitUntil([&] { return !overview(u"Get"_s); }, readyTimeout))
            outcome = Outcome::failed(u"GNOME Shell's overview does not close"_s);
    }
    // Shells paint their panels (and fade in) after they are ready on the bus: wait for a
    // picture that has held still for a second and is more than a blank screen.
    const auto painted = [this] {
        const QImage screen = stillScreen(1s, readyTimeout);
        QImage blank(screen.size(), screen.format());
        blank.fill(screen.isNull() ? 0 : screen.pixel(0, 0));
        return !screen.isNull() && screen != blank;
    };
    if (outcome && !waitUntil(painted, readyTimeout))
        outcome = Outcome::failed(u"the shell does not finish painting"_s);
    if (!outcome)
        stop(component, true);
    return outcome;
}

} // namespace velmora
