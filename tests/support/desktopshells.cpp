// How each DesktopSession component comes up: the real desktop shells and the small programs.

#include "desktopsession.h"
#include "testhelpers.h"

#include <QDBusReply>
#include <QLibraryInfo>

#include <wayland-client.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora {

namespace {

// One panel across the top with the tray and a clock, so no first-run dialog asks for one; the
// modules added go first.
constexpr char xfcePanelConfig[] =
    R"(<channel name="xfce4-panel" version="1.0"><property name="configver" type="int" value="2"/>
  <property name="panels" type="array"><value type="int" value="1"/>
    <property name="dark-mode" type="bool" value="DARK"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/><property name="size" type="uint" value="26"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="plugin-ids" type="array">MODULE_IDS<value type="int" value="1"/>
        <value type="int" value="2"/><value type="int" value="3"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">MODULE_PLUGINS
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/></property>
    <property name="plugin-2" type="string" value="systray"/>
    <property name="plugin-3" type="string" value="clock"/>
  </property>
</channel>)";

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
    const std::shared_ptr<wl_display> connection(display, wl_display_disconnect);
    static constexpr wl_registry_listener listener{
        [](void *manager, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
            if (std::strcmp(interface, pointerManager.name) == 0)
                *static_cast<wl_proxy **>(manager) =
                    static_cast<wl_proxy *>(wl_registry_bind(registry, name, &pointerManager, 1));
        },
        [](void *, wl_registry *, uint32_t) {}};
    wl_proxy *manager = nullptr;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &manager);
    const bool bound = wl_display_roundtrip(display) >= 0 && manager;
    wl_registry_destroy(registry);
    if (!bound)
        return {};
    // Only this side's proxies go: the device lives on as long as the connection.
    wl_proxy_destroy(wl_proxy_marshal_flags(manager, 0, &virtualPointer, 1, 0, nullptr, nullptr));
    wl_proxy_destroy(manager);
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
    if (!::getpwnam(qPrintable(user)))
        run(u"useradd --system --user-group --no-create-home --shell /bin/false %1"_s.arg(user)
                .split(u' '));
    const passwd *account = ::getpwnam(qPrintable(user));
    // Sway tells the programs it starts where its X display (for XWayland) and its socket are.
    test::writeFile(home + u"/.config/sway/config"_s,
                    "xwayland enable\nexec echo $DISPLAY $SWAYSOCK >$HOME/sockets\n");
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
    // A login's environment of its own, in which sway puts its sockets; PATH as the desktop's
    // other programs have it.
    m_asSwayUser =
        u"setpriv --reuid=%1 --regid=%1 --init-groups --reset-env --pdeathsig=KILL env "
        "HOME=%2 XDG_RUNTIME_DIR=%2 DBUS_SESSION_BUS_ADDRESS=%3 WAYLAND_DISPLAY=wayland-1"_s
            .arg(user, home, m_busAddress)
            .split(u' ')
        << u"PATH="_s + qEnvironmentVariable("PATH");
    QStringList sockets;
    const auto announced = [&] {
        sockets =
            QString::fromLocal8Bit(test::readFile(home + u"/sockets"_s)).trimmed().split(u' ');
        return sockets.size() == 2;
    };
    const QString sway =
        u"WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway"_s;
    if (Outcome outcome = launch(Component::Waybar, m_asSwayUser + sway.split(u' '), announced);
        !outcome)
        return outcome;
    // XWayland admits its user's programs only; Velmora and the tools here run as root.
    int admitted = -1;
    run(m_asSwayUser + QStringList{u"DISPLAY="_s + sockets[0], u"xhost"_s, u"+si:localuser:root"_s},
        &admitted);
    m_pointer = addPointer(home + u"/wayland-1"_s);
    m_swayEnvironment.insert(u"WAYLAND_DISPLAY"_s, home + u"/wayland-1"_s);
    m_swayEnvironment.insert(u"DISPLAY"_s, sockets[0]);
    m_swayEnvironment.insert(u"SWAYSOCK"_s, sockets[1]);
    m_swayEnvironment.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    m_swayEnvironment.insert(u"QT_QPA_PLATFORM"_s, QString()); // empty is unset, to Qt and Velmora
    m_swayEnvironment.insert(u"GDK_BACKEND"_s, QString());
    return admitted == 0 && m_pointer
               ? Outcome{}
               : Outcome::failed(u"XWayland does not admit root, or sway makes no pointer"_s);
}

DesktopSession::Host DesktopSession::host(Component component)
{
    const auto owner = [this](const char *selection) {
        return [this, selection] { return ownsSelection(selection); };
    };
    const auto named = [this](const QString &name, bool prefix = false) {
        return [this, name, prefix] { return busHasName(name, prefix); };
    };
    const QString config = m_dir.filePath(u"config/"_s);
    const QString lib = QLibraryInfo::path(QLibraryInfo::LibrariesPath); // multiarch daemons
    // GNOME Shell and Plasma wait out long D-Bus timeouts, or give up, without a system bus, and
    // the host's own must not see them.
    const auto withPrivateSystemBus = [this](const QString &shell) {
        const QString conf = m_dir.filePath(u"system-bus.conf"_s);
        test::writeFile(conf,
                        busConfiguration("system", u"unix:path=/run/dbus/system_bus_socket"_s));
        return u"unshare --mount --propagation private --pid --fork --kill-child -- sh -c"_s.split(
                   u' ')
               << u"mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs tmpfs /run/systemd && "
                  "dbus-daemon --config-file='%1' --fork && exec %2"_s.arg(conf, shell);
    };
    switch (component) {
    case Component::Display:
        // Xvfb picks a free display number and writes it once it accepts clients.
        return {.need = std::nullopt,
                .command =
                    u"Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset"_s.split(u' '),
                .announces = &m_display};
    case Component::Bus:
        // A configuration of our own: the system's session configuration would activate
        // whatever services are installed (a real portal, say) on this bus. Beside the runtime
        // directory, not in it: sway's user reaches it too.
        test::writeFile(m_dir.filePath(u"bus.conf"_s),
                        busConfiguration("session", u"unix:dir="_s + m_dir.path()));
        return {.need = Component::Display,
                .command = {u"dbus-daemon"_s, u"--config-file="_s + m_dir.filePath(u"bus.conf"_s),
                            u"--nofork"_s, u"--print-address"_s},
                .announces = &m_busAddress};
    case Component::WindowManager:
        return {.command = {u"openbox"_s, u"--sm-disable"_s}, .ready = owner("WM_S0")};
    case Component::Watcher:
        return {.command = {u"status-notifier-watcher"_s}, .ready = named(watcher)};
    case Component::SniHost:
        return {.need = Component::Watcher,
                .command = {u"gtk-sni-tray-standalone"_s, u"--top"_s, u"--end"_s, u"--size"_s,
                            u"30"_s, u"--color"_s, m_lightPanels ? u"#f0f0f0"_s : u"#303030"_s}};
    case Component::XEmbedTray:
        // trayer draws black; a light panel is a pseudo-transparent one over a light wallpaper.
        return {.prepare =
                    [this] {
                        return m_lightPanels && !setWallpaper(0xf0f0f0)
                                   ? Outcome::failed(u"cannot set a wallpaper"_s)
                                   : Outcome{};
                    },
                .command = u"trayer --edge top --align right --widthtype request --height 24 "
                           "--SetDockType true"_s.split(u' ') +
                           (m_lightPanels ? u"--transparent true --alpha 255"_s.split(u' ')
                                          : QStringList()),
                .ready = owner("_NET_SYSTEM_TRAY_S0")};
    case Component::Compositor:
        return {.command = {u"xcompmgr"_s}, .ready = owner("_NET_WM_CM_S0")};
    case Component::PortalBackend:
        test::writeFile(config + u"glib-2.0/settings/keyfile"_s,
                        "[org/gnome/desktop/interface]\ncolor-scheme='prefer-" +
                            QByteArray(m_lightPanels ? "light" : "dark") + "'\n");
        return {.command = {u"/usr/libexec/xdg-desktop-portal-gtk"_s},
                .ready = named(u"org.freedesktop.impl.portal.desktop.gtk"_s)};
    case Component::Portal:
        return {.need = Component::PortalBackend,
                .command = {u"/usr/libexec/xdg-desktop-portal"_s},
                .ready = named(u"org.freedesktop.portal.Desktop"_s)};
    case Component::Accessibility:
        return {.command = {u"/usr/libexec/at-spi-bus-launcher"_s, u"--launch-immediately"_s},
                .ready = [this] {
                    const QDBusReply<QString> address = bus().call(QDBusMessage::createMethodCall(
                        u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s, u"GetAddress"_s));
                    return address.isValid() &&
                           QDBusConnection::connectToBus(address.value(), u"a11y"_s).isConnected();
                }};
    case Component::GnomeShell:
        test::writeFile(config + u"glib-2.0/settings/keyfile"_s,
                        "[org/gnome/shell]\n"
                        "enabled-extensions=['ubuntu-appindicators@ubuntu.com']\n"
                        "disable-user-extensions=false\n"
                        "welcome-dialog-last-shown-version='43.0'\n");
        return {.needed = {u"gnome-shell"_s,
                           u"/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com"_s},
                .asRoot = true,
                .command = withPrivateSystemBus(u"gnome-shell --x11 --replace"_s)};
    case Component::Xfce: {
        QStringList needed;
        QByteArray ids, plugins;
        int id = 4; // after the panel's own
        for (const auto &[name, rc] : m_panelModules) {
            // A plugin the panel does not find leaves a gap.
            needed << u"/usr/share/xfce4/panel/plugins/%1.desktop"_s.arg(name);
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
        return {.need = Component::WindowManager,
                .needed = needed,
                .prepare =
                    [=, this] {
                        return launch(component, {lib + u"/xfce4/xfconf/xfconfd"_s},
                                      named(u"org.xfce.Xfconf"_s));
                    },
                .command = {u"xfce4-panel"_s}};
    }
    case Component::Plasma: {
        test::writeFile(config + u"plasmarc"_s,
                        m_lightPanels ? "[Theme]\nname=default\n" : "[Theme]\nname=breeze-dark\n");
        const auto watcherLoaded = [this] {
            return run(u"gdbus call --session --dest org.kde.kded5 --object-path /kded --method "
                       "org.kde.kded5.loadModule statusnotifierwatcher"_s.split(u' ')) ==
                   u"(true,)"_s;
        };
        // Without the activity manager, plasmashell aborts and kded5's configuration update
        // hangs for 30 s.
        const auto helpers = [=, this] {
            const Outcome activities = launch(component, {lib + u"/libexec/kactivitymanagerd"_s},
                                              named(u"org.kde.ActivityManager"_s));
            return activities ? launch(component, {u"kded5"_s}, watcherLoaded) : activities;
        };
        // kded5's watcher reports a host as soon as it runs; the panel's own name counts.
        return {.need = Component::WindowManager,
                .needed = {u"plasmashell"_s},
                .asRoot = true,
                .prepare = helpers,
                .command = withPrivateSystemBus(u"plasmashell --no-respawn"_s),
                .ready = named(u"org.kde.StatusNotifierHost-"_s, true)};
    }
    case Component::Lxqt:
        // The default theme (Debian's Clearlooks) is light; "dark" comes with LXQt.
        if (!m_lightPanels)
            test::writeFile(config + u"lxqt/lxqt.conf"_s, "[General]\ntheme=dark\n");
        return {.need = Component::WindowManager, .command = {u"lxqt-panel"_s}};
    case Component::IceWm:
        // A clock with seconds and load graphs change the task bar every second where the test
        // looks for what is new: minutes, as the other panels' clocks show, and no graphs.
        test::writeFile(config + u"icewm/preferences"_s,
                        "TimeFormat=\"%H:%M\"\nTaskBarShowCPUStatus=0\n"
                        "TaskBarShowMEMStatus=0\nTaskBarShowNetStatus=0\n");
        return {.command = {u"icewm-session"_s}, .ready = owner("_NET_SYSTEM_TRAY_S0")};
    case Component::Waybar:
        // sway refuses root, so it and waybar run as a user of its own (see start()).
        return {.needed = {u"sway"_s, u"waybar"_s, u"grim"_s, u"xhost"_s},
                .asRoot = true,
                .prepare = [this] { return startSway(); },
                .command = {u"waybar"_s}};
    case Component::Polybar: {
        QByteArray names, modules;
        for (const auto &[name, module] : m_panelModules) {
            names += ' ' + name.toUtf8();
            modules += '\n' + module;
        }
        test::writeFile(config + u"polybar/config.ini"_s,
                        QByteArray(polybarConfig).replace("NAMES", names) + modules);
        return {.command = {u"polybar"_s, u"top"_s}, .ready = [this] {
                    return !windowGeometry({u"--class"_s, u"^polybar$"_s}).isNull();
                }};
    }
    }
    return {};
}

// Shells paint their panels (and fade in) after they are ready on the bus. GNOME opens its
// overview once it has started; the overview covers the desktop and takes the first click.
DesktopSession::Outcome DesktopSession::settle(Component component)
{
    if (component == Component::GnomeShell) {
        const auto overview = [this] {
            return property(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s, u"OverviewActive"_s)
                .toBool();
        };
        // Wait for it, briefly, then close it.
        waitUntil(overview, 5s);
        run(u"gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method "
            "org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive <false>"_s.split(
                u' '));
        if (!waitUntil([&] { return !overview(); }, readyTimeout))
            return Outcome::failed(u"GNOME Shell's overview does not close"_s);
    }
    // A picture that has held still for a second and is more than a blank screen.
    const auto painted = [this] {
        const QImage screen = stillScreen(1s, readyTimeout);
        QImage blank(screen.size(), screen.format());
        blank.fill(screen.isNull() ? 0 : screen.pixel(0, 0));
        return !screen.isNull() && screen != blank;
    };
    return waitUntil(painted, readyTimeout)
               ? Outcome{}
               : Outcome::failed(u"the shell does not finish painting"_s);
}

} // namespace velmora
