// The real desktop shells as DesktopSession components, and the X-side queries they need.

#include "desktopsession.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora {

namespace {

using Component = DesktopSession::Component;
using Outcome = DesktopSession::Outcome;

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) &&
           file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// Daemons Debian keeps in a multiarch libexec directory, e.g. /usr/lib/x86_64-linux-gnu/….
QString libexecProgram(const QString &relativePath)
{
    const QDir lib(u"/usr/lib"_s);
    for (const QString &sub : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QFileInfo candidate(lib.filePath(sub + u'/' + relativePath));
        if (candidate.isExecutable())
            return candidate.filePath();
    }
    return {};
}

// GNOME Shell and Plasma wait out long D-Bus timeouts, or give up, without a system bus, and
// the host's own must not see them. This one answers everyone and activates nothing.
constexpr char systemBusConfig[] =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig><type>system</type><listen>unix:path=/run/dbus/system_bus_socket</listen>"
    "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
    "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n";

// Runs shellCommand in private mount and PID namespaces with that system bus on /run/dbus; the
// namespace's processes all die with it.
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
    const bool root = ::geteuid() == 0;
    std::vector<int> helpers;
    for (const Component first : {Component::Display, Component::Bus}) {
        if (auto ok = start(first); !ok)
            return ok;
    }
    const QString busConfig = m_dir.filePath(u"system-bus.conf"_s);
    if (!writeFile(busConfig, systemBusConfig))
        return Outcome::failed(u"cannot write %1"_s.arg(busConfig));
    const QString config = m_dir.filePath(u"config"_s);
    QStringList command;
    QString log;

    switch (component) {
    case Component::GnomeShell: {
        if (QStandardPaths::findExecutable(u"gnome-shell"_s).isEmpty())
            return Outcome::missing(u"gnome-shell is not installed"_s);
        if (!QFileInfo::exists(
                u"/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com"_s))
            return Outcome::missing(u"gnome-shell-extension-appindicator is not installed"_s);
        if (!root)
            return Outcome::missing(u"GNOME Shell's private system bus needs root"_s);
        if (!writeFile(config + u"/glib-2.0/settings/keyfile"_s,
                       "[org/gnome/shell]\n"
                       "enabled-extensions=['ubuntu-appindicators@ubuntu.com']\n"
                       "disable-user-extensions=false\n"
                       "welcome-dialog-last-shown-version='43.0'\n"))
            return Outcome::failed(u"cannot write the GNOME settings"_s);
        command = withPrivateSystemBus(busConfig, u"gnome-shell --x11 --replace"_s);
        log = u"gnome-shell"_s;
        break;
    }
    case Component::Xfce: {
        const QString xfconfd = libexecProgram(u"xfce4/xfconf/xfconfd"_s);
        if (QStandardPaths::findExecutable(u"xfce4-panel"_s).isEmpty() || xfconfd.isEmpty())
            return Outcome::missing(u"xfce4-panel or xfconf is not installed"_s);
        if (auto ok = start(Component::WindowManager); !ok)
            return ok;
        if (!writeFile(
                config + u"/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"_s,
                QByteArray(xfcePanelConfig).replace("DARK", m_lightPanels ? "false" : "true")))
            return Outcome::failed(u"cannot write the panel configuration"_s);
        if (auto ok = startHelper(helpers, {xfconfd},
                                  [this] { return busHasName(u"org.xfce.Xfconf"_s); });
            !ok)
            return ok;
        command = QStringList{u"xfce4-panel"_s};
        log = u"xfce4-panel"_s;
        break;
    }
    case Component::Plasma: {
        const QString activities = libexecProgram(u"libexec/kactivitymanagerd"_s);
        if (QStandardPaths::findExecutable(u"plasmashell"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"kded5"_s).isEmpty() || activities.isEmpty())
            return Outcome::missing(u"plasmashell, kded5 or kactivitymanagerd is not installed"_s);
        if (!root)
            return Outcome::missing(u"Plasma's private system bus needs root"_s);
        if (auto ok = start(Component::WindowManager); !ok)
            return ok;
        if (!writeFile(config + u"/plasmarc"_s,
                       m_lightPanels ? "[Theme]\nname=default\n" : "[Theme]\nname=breeze-dark\n"))
            return Outcome::failed(u"cannot write the Plasma theme"_s);
        // Without the activity manager, plasmashell aborts and kded5's configuration update
        // hangs for 30 s.
        if (auto ok = startHelper(helpers, {activities},
                                  [this] { return busHasName(u"org.kde.ActivityManager"_s); });
            !ok)
            return ok;
        const auto watcherLoaded = [this] {
            if (!busHasName(u"org.kde.kded5"_s))
                return false;
            const QDBusReply<bool> loaded =
                bus().call(QDBusMessage::createMethodCall(u"org.kde.kded5"_s, u"/kded"_s,
                                                          u"org.kde.kded5"_s, u"loadModule"_s)
                               << u"statusnotifierwatcher"_s,
                           QDBus::Block, 2000);
            return loaded.isValid() && loaded.value();
        };
        if (auto ok = startHelper(helpers, {u"kded5"_s}, watcherLoaded); !ok)
            return ok;
        command = withPrivateSystemBus(busConfig, u"plasmashell --no-respawn"_s);
        log = u"plasmashell"_s;
        break;
    }
    default:
        return Outcome::failed(u"not a shell"_s);
    }

    const int pid = spawn(command, log, -1);
    m_children[component] = {pid, helpers};
    if (pid <= 0) {
        stop(component, true);
        return Outcome::failed(u"cannot start %1"_s.arg(log));
    }
    // Plasma's kded5 watcher reports a host as soon as it runs; the panel's own name counts.
    auto outcome = waitReady(component, [this, component] {
        return component == Component::Plasma ? busHasName(u"org.kde.StatusNotifierHost-"_s, true)
                                              : hostRegistered();
    });
    if (outcome && component == Component::GnomeShell)
        outcome = closeOverview();
    // Shells paint their panels (and fade in) after they are ready on the bus: wait for a
    // picture that has held still for a second and is more than a blank screen.
    const auto painted = [this] {
        const QImage screen = stillScreen(1s, readyTimeout);
        QImage blank(screen.size(), screen.format());
        blank.fill(screen.isNull() ? 0 : screen.pixel(0, 0));
        return !screen.isNull() && screen != blank;
    };
    if (outcome && !waitUntil(painted, readyTimeout))
        outcome = Outcome::failed(u"%1 does not finish painting"_s.arg(log));
    if (!outcome)
        stop(component, true);
    return outcome;
}

DesktopSession::Outcome DesktopSession::startHelper(std::vector<int> &helpers,
                                                    const QStringList &command,
                                                    const std::function<bool()> &ready)
{
    const QString name = QFileInfo(command.first()).fileName();
    const int pid = spawn(command, name, -1);
    if (pid <= 0)
        return Outcome::failed(u"cannot start %1"_s.arg(name));
    helpers.push_back(pid);
    if (waitUntil(ready, readyTimeout))
        return {};
    for (const int helper : helpers) {
        ::kill(-helper, SIGKILL);
        ::waitpid(helper, nullptr, 0);
    }
    helpers.clear();
    return Outcome::failed(u"%1 did not get ready"_s.arg(name));
}

DesktopSession::Outcome DesktopSession::closeOverview()
{
    // GNOME opens its overview once it has started; the overview covers the desktop and takes
    // the first click. Wait for it, briefly, then close it.
    const auto overviewActive = [this] {
        const QDBusReply<QDBusVariant> reply = bus().call(
            QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s,
                                           u"org.freedesktop.DBus.Properties"_s, u"Get"_s)
                << u"org.gnome.Shell"_s << u"OverviewActive"_s,
            QDBus::Block, 2000);
        return reply.isValid() && reply.value().variant().toBool();
    };
    waitUntil(overviewActive, 5s);
    bus().call(QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s,
                                              u"org.freedesktop.DBus.Properties"_s, u"Set"_s)
                   << u"org.gnome.Shell"_s << u"OverviewActive"_s
                   << QVariant::fromValue(QDBusVariant(false)),
               QDBus::Block, 2000);
    if (!waitUntil([&] { return !overviewActive(); }, readyTimeout))
        return Outcome::failed(u"GNOME Shell's overview does not close"_s);
    return {};
}

} // namespace velmora
