// The real desktop shells as DesktopSession components, and the X-side queries they need.

#include "desktopsession.h"
#include "testhelpers.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStandardPaths>

#include <wayland-client.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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

// One panel across the top with the tray and a clock, so no first-run dialog asks for one; the
// modules added go first.
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
      <property name="plugin-ids" type="array">MODULE_IDS
        <value type="int" value="1"/>
        <value type="int" value="2"/>
        <value type="int" value="3"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">MODULE_PLUGINS
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
    <property name="plugin-3" type="string" value="clock"/>
  </property>
</channel>
)";

// The request of the wlr virtual pointer protocol that makes a pointer device, with no events.
// Sway's headless back end has no input devices, and a seat without a pointer sends clients no
// pointer events, not even those `swaymsg seat - cursor` makes.
const wl_interface virtualPointer{"zwlr_virtual_pointer_v1", 1, 0, nullptr, 0, nullptr};
const wl_interface *createTypes[]{&wl_seat_interface, &virtualPointer};
const wl_message createPointer{"create_virtual_pointer", "?on", createTypes};
const wl_interface pointerManager{
    "zwlr_virtual_pointer_manager_v1", 1, 1, &createPointer, 0, nullptr};

// A pointer device on the compositor's seat for as long as the connection is kept; null if none.
std::shared_ptr<wl_display> addPointer(const QString &socket)
{
    wl_display *display = wl_display_connect(qPrintable(socket));
    if (!display)
        return {};
    // The proxies go with the connection: the pointer device lives as long as both.
    struct Proxies
    {
        wl_proxy *registry = nullptr, *manager = nullptr, *pointer = nullptr;
    };
    auto proxies = std::make_shared<Proxies>();
    const std::shared_ptr<wl_display> connection(display, [proxies](wl_display *display) {
        for (wl_proxy *proxy : {proxies->pointer, proxies->manager, proxies->registry})
            if (proxy)
                wl_proxy_destroy(proxy);
        wl_display_disconnect(display);
    });
    static constexpr wl_registry_listener listener{
        [](void *manager, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
            if (std::strcmp(interface, pointerManager.name) == 0)
                *static_cast<wl_proxy **>(manager) =
                    static_cast<wl_proxy *>(wl_registry_bind(registry, name, &pointerManager, 1));
        },
        [](void *, wl_registry *, uint32_t) {}};
    wl_registry *registry = wl_display_get_registry(display);
    proxies->registry = reinterpret_cast<wl_proxy *>(registry);
    wl_registry_add_listener(registry, &listener, &proxies->manager);
    if (wl_display_roundtrip(display) < 0 || !proxies->manager)
        return {};
    proxies->pointer =
        wl_proxy_marshal_flags(proxies->manager, 0, &virtualPointer, 1, 0, nullptr, nullptr);
    return wl_display_roundtrip(display) < 0 ? nullptr : connection;
}

// waybar's own configuration's bar, with the tray alone but for the modules added: the other
// modules change by themselves.
constexpr char waybarConfig[] = R"({"height": 30, "spacing": 4, "modules-left": [NAMES],
    "modules-right": ["tray"], "tray": {"spacing": 10}MODULES})";

// A dark bar, as the other bars are by default, in a font that has the arrows.
constexpr char polybarConfig[] = "[bar/top]\nheight = 30\nbackground = #303030\n"
                                 "foreground = #ffffff\nfont-0 = DejaVu Sans:size=11;3\n"
                                 "padding = 1\nmodules-left = NAMES\n";

} // namespace

// The user, sway as that user and a pointer on its seat, for waybar.
DesktopSession::Outcome DesktopSession::startSway()
{
    // The user is made once on a machine; it may reach this session's directory, not read it.
    const QString user = u"velmora-sway"_s, home = m_dir.filePath(u"sway"_s);
    const QString add = u"useradd --system --user-group --no-create-home --shell /bin/false "_s;
    if (!::getpwnam(qPrintable(user)))
        run((add + user).split(u' '));
    const passwd *account = ::getpwnam(qPrintable(user));
    test::writeFile(home + u"/.config/sway/config"_s, "xwayland enable\n");
    QByteArray names, modules;
    for (const auto &[name, module] : m_panelModules) {
        names += (names.isEmpty() ? "\"" : ", \"") + name.toUtf8() + '"';
        modules += ",\n" + module;
    }
    test::writeFile(home + u"/.config/waybar/config"_s,
                    QByteArray(waybarConfig).replace("NAMES", names).replace("MODULES", modules));
    if (!account || ::chown(qPrintable(home), account->pw_uid, account->pw_gid) != 0 ||
        !QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ExeOwner | QFile::ExeOther))
        return Outcome::failed(u"no user to run sway as"_s);
    // A login's environment of its own, in which sway puts its sockets.
    m_asSwayUser =
        u"setpriv --reuid=%1 --regid=%1 --init-groups --reset-env --pdeathsig=KILL env"_s.arg(user)
            .split(u' ') +
        QStringList{u"HOME="_s + home, u"XDG_RUNTIME_DIR="_s + home,
                    u"PATH="_s + qEnvironmentVariable("PATH"), // as the desktop's other programs
                    u"DBUS_SESSION_BUS_ADDRESS="_s + m_busAddress, u"WAYLAND_DISPLAY=wayland-1"_s};
    // Sway's pid is in the lock file of the X display it opens for XWayland, its last socket.
    const auto xDisplay = [&] {
        const qint64 pid = m_children[Component::Waybar].front()->processId();
        for (const QString &lock :
             QDir(u"/tmp"_s).entryList({u".X*-lock"_s}, QDir::Files | QDir::Hidden))
            if (std::atoi(test::readFile(u"/tmp/"_s + lock).constData()) == pid)
                return u":"_s + lock.mid(2).chopped(5);
        return QString();
    };
    const QStringList sway =
        u"WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway"_s.split(u' ');
    if (Outcome outcome =
            launch(Component::Waybar, m_asSwayUser + sway, [&] { return !xDisplay().isEmpty(); });
        !outcome)
        return outcome;
    // XWayland admits its user's programs only; Velmora and the tools here run as root.
    int admitted = -1;
    run(m_asSwayUser + QStringList{u"DISPLAY="_s + xDisplay(), u"xhost"_s, u"+si:localuser:root"_s},
        &admitted);
    m_pointer = addPointer(home + u"/wayland-1"_s);
    for (const auto &[variable, value] :
         {std::pair{u"WAYLAND_DISPLAY"_s, home + u"/wayland-1"_s},
          {u"DISPLAY"_s, xDisplay()},
          {u"SWAYSOCK"_s,
           QDir(home).entryInfoList({u"sway-ipc.*"_s}, QDir::System).value(0).filePath()},
          {u"XDG_SESSION_TYPE"_s, u"wayland"_s},
          {u"QT_QPA_PLATFORM"_s, QString()}, // empty is unset, to Qt and to Velmora
          {u"GDK_BACKEND"_s, QString()}})
        m_swayEnvironment.insert(variable, value);
    return admitted == 0 && m_pointer
               ? Outcome{}
               : Outcome::failed(u"XWayland does not admit root, or sway makes no pointer"_s);
}

DesktopSession::Outcome DesktopSession::startShell(Component component)
{
    const bool gnome = component == Component::GnomeShell, xfce = component == Component::Xfce,
               lxqt = component == Component::Lxqt, iceWm = component == Component::IceWm,
               waybar = component == Component::Waybar, polybar = component == Component::Polybar;
    const bool plasma = component == Component::Plasma;
    const QString xfconfd = libexecProgram(u"xfce4/xfconf/xfconfd"_s);
    const QString activities = libexecProgram(u"libexec/kactivitymanagerd"_s);
    QStringList needed =
        gnome     ? QStringList{u"gnome-shell"_s,
                            u"/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com"_s}
        : xfce    ? QStringList{u"xfce4-panel"_s, xfconfd}
        : lxqt    ? QStringList{u"lxqt-panel"_s}
        : iceWm   ? QStringList{u"icewm-session"_s}
        : waybar  ? QStringList{u"sway"_s, u"waybar"_s, u"grim"_s, u"xhost"_s}
        : polybar ? QStringList{u"polybar"_s}
                  : QStringList{u"plasmashell"_s, u"kded5"_s, activities};
    for (const auto &[name, rc] : m_panelModules) {
        if (xfce) // a plugin the panel does not find leaves a gap
            needed << u"/usr/share/xfce4/panel/plugins/%1.desktop"_s.arg(name);
    }
    for (const QString &program : needed) {
        if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo::exists(program))
            return Outcome::missing(program + u" is not installed"_s);
    }
    if ((gnome || plasma || waybar) && ::geteuid() != 0)
        return Outcome::missing(u"the shell's private system bus, or sway's user, needs root"_s);
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
        QByteArray ids, plugins;
        int id = 4; // after the panel's own
        for (const auto &[name, rc] : m_panelModules) {
            ids += "<value type=\"int\" value=\"" + QByteArray::number(id) + "\"/>";
            plugins += "<property name=\"plugin-" + QByteArray::number(id) +
                       "\" type=\"string\" value=\"" + name.toUtf8() + "\"/>";
            test::writeFile(config + u"xfce4/panel/%1-%2.rc"_s.arg(name).arg(id++), rc);
        }
        test::writeFile(config + u"xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"_s,
                        QByteArray(xfcePanelConfig)
                            .replace("DARK", m_lightPanels ? "false" : "true")
                            .replace("MODULE_IDS", ids)
                            .replace("MODULE_PLUGINS", plugins));
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
    } else if (waybar) {
        outcome = startSway();
        command = m_asSwayUser + QStringList{u"waybar"_s};
    } else if (polybar) {
        QByteArray names, modules;
        for (const auto &[name, module] : m_panelModules) {
            names += ' ' + name.toUtf8();
            modules += '\n' + module;
        }
        test::writeFile(config + u"polybar/config.ini"_s,
                        QByteArray(polybarConfig).replace("NAMES", names) + modules);
        command = {u"polybar"_s, u"top"_s};
        ready = [this] { return !windowGeometry({u"--class"_s, u"^polybar$"_s}).isNull(); };
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
