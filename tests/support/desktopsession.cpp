#include "desktopsession.h"

#include "platform/xcbreply.h"
#include "testhelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <signal.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ranges>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Where this desktop's programs keep their files.
constexpr std::pair<const char *, const char *> privateDirectories[] = {
    {"XDG_RUNTIME_DIR", "runtime"},
    {"XDG_CONFIG_HOME", "config"},
    {"XDG_CACHE_HOME", "cache"},
    {"XDG_DATA_HOME", "data"},
    {"HOME", "home"}};

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const velmora::XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_NONE);
}

// QProcess learns of an exit from the event loop, which processes started before the
// application object do not have; waiting for none at all asks the kernel.
bool alive(QProcess &process)
{
    return process.state() == QProcess::Running && !process.waitForFinished(0);
}

} // namespace

DesktopSession::DesktopSession()
{
    for (const auto &[variable, directory] : privateDirectories)
        QDir(m_dir.path()).mkpath(QString::fromLatin1(directory));
    QFile::setPermissions(m_dir.filePath(u"runtime"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

DesktopSession::~DesktopSession()
{
    if (s_current == this)
        s_current = nullptr;
    while (!m_children.empty())
        stop(m_children.rbegin()->first);
}

DesktopSession::Outcome DesktopSession::start(Component component)
{
    if (m_children.contains(component) && alive(*m_children.at(component).back()))
        return {};
    stop(component); // what is left of it after it ended by itself
    const Host host = this->host(component);
    if (const Outcome needed = host.need ? start(*host.need) : Outcome{}; !needed)
        return needed;
    if (host.asRoot && ::geteuid() != 0)
        return Outcome::missing(host.needed.first() + u" needs root here"_s);
    for (const QString &program : host.needed)
        if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo::exists(program))
            return Outcome::missing(program + u" is not installed"_s);
    const auto trayHost = [this] {
        return property(watcher, u"/StatusNotifierWatcher"_s, u"IsStatusNotifierHostRegistered"_s)
            .toBool();
    };
    Outcome outcome = host.prepare ? host.prepare() : Outcome{};
    // waybar runs as sway's user, known once sway runs.
    if (outcome)
        outcome =
            launch(component,
                   (component == Component::Waybar ? m_asSwayUser : QStringList()) + host.command,
                   host.ready ? host.ready : trayHost, host.announces);
    if (outcome && component >= Component::GnomeShell)
        outcome = settle(component);
    if (!outcome)
        stop(component);
    return outcome;
}

// Lets every user connect, answers everyone, lets anyone listen in, and activates nothing.
QByteArray DesktopSession::busConfiguration(const char *type, const QString &listen)
{
    return "<busconfig><type>" + QByteArray(type) + "</type><listen>" + listen.toUtf8() +
           "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n";
}

DesktopSession::Outcome DesktopSession::launch(Component component, const QStringList &command,
                                               const std::function<bool()> &ready,
                                               QString *announces)
{
    QProcess &process = *m_children[component].emplace_back(std::make_unique<QProcess>());
    const QString log = m_dir.filePath(QFileInfo(command.first()).fileName() + u".log"_s);
    process.setProcessEnvironment(environment());
    process.setStandardInputFile(QProcess::nullDevice());
    if (!announces)
        process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
    process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // the desktop must not outlive a test that crashes
    });
    process.start(command.first(), command.mid(1));
    process.waitForStarted(); // so that the process group exists before anyone stops it
    const auto up = [&] {
        const bool said = announces && (process.canReadLine() || process.waitForReadyRead(10));
        if (said)
            *announces = QString::fromLocal8Bit(process.readLine()).trimmed();
        return announces ? said : ready();
    };
    if (QTest::qWaitFor([&] { return !alive(process) || up(); }, int(readyTimeout.count())) &&
        alive(process))
        return {};
    if (QStandardPaths::findExecutable(command.first()).isEmpty())
        return Outcome::missing(command.first() + u" is not installed"_s);
    return Outcome::failed(command.first() + u" did not get ready: "_s +
                           QString::fromLocal8Bit(test::readFile(log).right(600)));
}

bool DesktopSession::setWallpaper(quint32 rgb) const
{
    // A root pixmap as wallpaper setters leave it: kept after this client leaves, named by
    // _XROOTPMAP_ID for pseudo-transparent panels.
    return withX([rgb](xcb_connection_t *connection, const xcb_screen_t *screen) {
        const xcb_pixmap_t pixmap = xcb_generate_id(connection);
        xcb_create_pixmap(connection, screen->root_depth, pixmap, screen->root,
                          screen->width_in_pixels, screen->height_in_pixels);
        const xcb_gcontext_t gc = xcb_generate_id(connection);
        xcb_create_gc(connection, gc, pixmap, XCB_GC_FOREGROUND, &rgb);
        const xcb_rectangle_t all{0, 0, screen->width_in_pixels, screen->height_in_pixels};
        xcb_poly_fill_rectangle(connection, pixmap, gc, 1, &all);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root,
                            atom(connection, "_XROOTPMAP_ID"), XCB_ATOM_PIXMAP, 32, 1, &pixmap);
        xcb_change_window_attributes(connection, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
        xcb_clear_area(connection, 0, screen->root, 0, 0, 0, 0);
        xcb_set_close_down_mode(connection, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
        xcb_flush(connection);
    });
}

void DesktopSession::stop(Component component)
{
    const auto found = m_children.find(component);
    if (found == m_children.end())
        return;
    const auto processes = std::move(found->second);
    m_children.erase(found);
    if (component == Component::Bus)
        QDBusConnection::disconnectFromBus(u"velmora-desktop-session-%1"_s.arg(quintptr(this)));
    if (component == Component::Accessibility)
        QDBusConnection::disconnectFromBus(u"a11y"_s);
    if (component == Component::Waybar) {
        m_asSwayUser.clear();
        m_swayEnvironment = {};
        m_pointer.reset();
    }
    // The program, then the daemons it needed; each with what it started in its group.
    for (const auto &process : processes | std::views::reverse) {
        const auto group = pid_t(process->processId());
        test::end(*process);
        if (group > 0)
            ::kill(-group, SIGKILL);
    }
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"WAYLAND_DISPLAY", "SESSION_MANAGER", "DESKTOP_AUTOSTART_ID"})
        env.remove(QString::fromLatin1(name));
    env.insert(u"DISPLAY"_s, u":"_s + m_display); // none that works before Xvfb runs
    // Without a bus of our own, point at none rather than at the user's.
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s,
               m_busAddress.isEmpty() ? u"unix:path=%1"_s.arg(m_dir.filePath(u"no-bus"_s))
                                      : m_busAddress);
    for (const auto &[variable, directory] : privateDirectories)
        env.insert(QString::fromLatin1(variable), m_dir.filePath(QString::fromLatin1(directory)));
    // No accessibility bus to look for; the private bus activates nothing, so no dconf either:
    // GSettings come from a key file.
    for (const QString &setting : u"XDG_SESSION_TYPE=x11 GDK_BACKEND=x11 QT_QPA_PLATFORM=xcb "
                                  "NO_AT_BRIDGE=1 GSETTINGS_BACKEND=keyfile"_s.split(u' '))
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    env.insert(m_swayEnvironment);
    // As the desktop's session manager would say.
    for (const auto &[shell, name] :
         {std::pair{Component::GnomeShell, u"GNOME"_s}, std::pair{Component::Xfce, u"XFCE"_s},
          std::pair{Component::Plasma, u"KDE"_s}, std::pair{Component::Lxqt, u"LXQt"_s},
          std::pair{Component::IceWm, u"ICEWM"_s}, std::pair{Component::Waybar, u"sway"_s}}) {
        if (m_children.contains(shell))
            env.insert(u"XDG_CURRENT_DESKTOP"_s, name);
    }
    // Whether or not a screen reader runs: the test reads and presses in its place.
    if (m_children.contains(Component::Accessibility))
        env.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    // As startlxqt sets them: the panel's defaults live in /usr/share/lxqt, and Qt programs
    // take LXQt's palette from its platform theme (there is none for Qt 6).
    if (m_children.contains(Component::Lxqt)) {
        env.insert(u"XDG_CONFIG_DIRS"_s, u"/etc:/etc/xdg:/usr/share"_s);
        env.insert(u"QT_QPA_PLATFORMTHEME"_s, u"lxqt"_s);
    }
    return env;
}

QImage DesktopSession::stillScreen(std::chrono::milliseconds still,
                                   std::chrono::milliseconds timeout, const QRect &area) const
{
    QImage now, last;
    QElapsedTimer held;
    const bool ok = waitUntil(
        [&] {
            now = grab();
            const QImage part = area.isNull() ? now : now.copy(area);
            if (part != last || !held.isValid())
                held.start();
            last = part;
            return held.elapsed() >= still.count();
        },
        timeout);
    return ok ? now : QImage();
}

void DesktopSession::screenshot(const QString &name) const
{
    const QString directory = qEnvironmentVariable("VELMORA_ARTIFACTS");
    if (!directory.isEmpty() && QDir().mkpath(directory))
        grab().save(QDir(directory).filePath(name + u".png"_s));
}

QString DesktopSession::run(const QStringList &command, int *exitCode,
                            QProcessEnvironment env) const
{
    QProcess process;
    process.setProcessEnvironment(env.isEmpty() ? environment() : env);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(15'000))
        test::end(process);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void DesktopSession::click(const QPoint &at, int button) const
{
    if (!m_asSwayUser.isEmpty()) {
        run({u"swaymsg"_s, u"seat - cursor set %1 %2; seat - cursor press button%3; "
                           "seat - cursor release button%3"_s.arg(at.x())
                               .arg(at.y())
                               .arg(button)});
        return;
    }
    // --sync waits for the pointer to move, so it must start elsewhere: a pixel off.
    run({u"xdotool"_s, u"mousemove"_s, QString::number(at.x() + 1), QString::number(at.y() + 1),
         u"mousemove"_s, u"--sync"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s,
         QString::number(button)});
}

QRect DesktopSession::windowGeometry(const QStringList &search) const
{
    QMap<QString, int> geometry;
    const QString shell = run(QStringList{u"xdotool"_s, u"search"_s, u"--onlyvisible"_s} + search +
                              QStringList{u"getwindowgeometry"_s, u"--shell"_s});
    for (const QString &line : shell.split(u'\n'))
        geometry.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return geometry.contains(u"WIDTH"_s) ? QRect(geometry[u"X"_s], geometry[u"Y"_s],
                                                 geometry[u"WIDTH"_s], geometry[u"HEIGHT"_s])
                                         : QRect();
}

void DesktopSession::enterFromMain()
{
    s_current = this;
    m_skipReason = start(Component::Bus).message;
    const QProcessEnvironment env = environment();
    for (const QString &key : QProcessEnvironment::systemEnvironment().keys() + env.keys())
        env.contains(key) ? qputenv(qPrintable(key), env.value(key).toLocal8Bit())
                          : qunsetenv(qPrintable(key));
    if (!m_skipReason.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

QDBusConnection DesktopSession::bus() const
{
    return QDBusConnection::connectToBus(m_busAddress,
                                         u"velmora-desktop-session-%1"_s.arg(quintptr(this)));
}

bool DesktopSession::busHasName(const QString &name, bool prefix) const
{
    return std::ranges::any_of(
        bus().interface()->registeredServiceNames().value(),
        [&](const QString &owned) { return prefix ? owned.startsWith(name) : owned == name; });
}

QVariant DesktopSession::property(const QString &service, const QString &path,
                                  const QString &name) const
{
    const QDBusReply<QDBusVariant> reply =
        bus().call(QDBusMessage::createMethodCall(service, path,
                                                  u"org.freedesktop.DBus.Properties"_s, u"Get"_s)
                       << service << name,
                   QDBus::Block, 2000);
    return reply.value().variant();
}

QStringList DesktopSession::registeredItems() const
{
    return property(watcher, u"/StatusNotifierWatcher"_s, u"RegisteredStatusNotifierItems"_s)
        .toStringList();
}

bool DesktopSession::withX(
    const std::function<void(xcb_connection_t *, const xcb_screen_t *)> &use) const
{
    xcb_connection_t *connection = xcb_connect(":" + m_display.toLocal8Bit(), nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    if (ok) {
        use(connection, xcb_setup_roots_iterator(xcb_get_setup(connection)).data);
        // A round trip: the server may drop requests still unread when the connection ends.
        velmora::XcbReply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    xcb_disconnect(connection);
    return ok;
}

QImage DesktopSession::grab() const
{
    if (!m_asSwayUser.isEmpty()) { // what sway shows, read as its user would
        QProcess grim;
        grim.start(m_asSwayUser.first(),
                   m_asSwayUser.mid(1) + QStringList{u"grim"_s, u"-t"_s, u"ppm"_s, u"-"_s});
        grim.waitForFinished();
        return QImage::fromData(grim.readAllStandardOutput());
    }
    QImage image;
    withX([&image](xcb_connection_t *connection, const xcb_screen_t *screen) {
        const velmora::XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                          screen->width_in_pixels, screen->height_in_pixels, ~0u),
            nullptr));
        // A 24-bit display hands out 32-bit pixels, the layout of QImage::Format_RGB32.
        if (reply && reply->depth == 24)
            image = QImage(xcb_get_image_data(reply.get()), screen->width_in_pixels,
                           screen->height_in_pixels, QImage::Format_RGB32)
                        .copy();
    });
    return image;
}

bool DesktopSession::ownsSelection(const char *selection) const
{
    bool owned = false;
    withX([&](xcb_connection_t *connection, const xcb_screen_t *) {
        const velmora::XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom(connection, selection)),
                nullptr));
        owned = owner && owner->owner != XCB_NONE;
    });
    return owned;
}

} // namespace velmora
