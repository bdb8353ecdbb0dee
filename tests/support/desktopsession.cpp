#include "desktopsession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

using Component = DesktopSession::Component;
using Outcome = DesktopSession::Outcome;

DesktopSession *g_current = nullptr;

constexpr auto watcherName = "org.kde.StatusNotifierWatcher";

// Components in the order they start, with the program each runs; teardown runs it backwards.
constexpr std::pair<Component, const char *> allComponents[] = {
    {Component::Display, "Xvfb"},
    {Component::Bus, "dbus-daemon"},
    {Component::WindowManager, "openbox"},
    {Component::Watcher, "status-notifier-watcher"},
    {Component::SniHost, "gtk-sni-tray-standalone"},
    {Component::XEmbedTray, "trayer"},
    {Component::Compositor, "xcompmgr"},
    {Component::PortalBackend, "xdg-desktop-portal-gtk"},
    {Component::Portal, "xdg-desktop-portal"},
    {Component::GnomeShell, "gnome-shell"},
    {Component::Xfce, "xfce4-panel"},
    {Component::Plasma, "plasmashell"},
};

QString programOf(Component component)
{
    const auto *entry =
        std::ranges::find(allComponents, component, &std::pair<Component, const char *>::first);
    return QString::fromLatin1(entry->second);
}

Outcome notInstalled(const QString &program)
{
    return Outcome::missing(u"%1 is not installed"_s.arg(program));
}

// Reads one line a child writes to fd, within the timeout; empty on timeout or end of file.
QByteArray readLine(int fd, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    QByteArray line;
    while (!line.contains('\n')) {
        pollfd polled{fd, POLLIN, 0};
        const int ready = ::poll(&polled, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return {};
        line.append(buffer, got);
    }
    return line.left(line.indexOf('\n')).trimmed();
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    std::free(reply);
    return value;
}

bool alive(int pid)
{
    return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0;
}

QString logTail(const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    if (log.size() > 600)
        log.seek(log.size() - 600);
    return QString::fromLocal8Bit(log.readAll()).trimmed();
}

} // namespace

// Keeps the test's event loop turning when there is one.
bool DesktopSession::waitUntil(const std::function<bool()> &ready,
                               std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        if (QCoreApplication::instance())
            QTest::qWait(20);
        else
            QThread::msleep(20);
    }
    return true;
}

DesktopSession::DesktopSession()
{
    QDir root(m_dir.path());
    for (const auto &sub : {u"runtime"_s, u"config"_s, u"cache"_s, u"data"_s, u"home"_s, u"logs"_s})
        root.mkpath(sub);
    QFile::setPermissions(root.filePath(u"runtime"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

DesktopSession::~DesktopSession()
{
    if (g_current == this)
        g_current = nullptr;
    for (auto it = std::rbegin(allComponents); it != std::rend(allComponents); ++it)
        stop(it->first);
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(u"velmora-desktop-session-%1"_s.arg(quintptr(this)));
}

DesktopSession::Outcome DesktopSession::start(Component component)
{
    if (isRunning(component))
        return {};
    if (!m_dir.isValid())
        return Outcome::failed(u"no temporary directory"_s);
    if (component == Component::Display)
        return startDisplay();
    if (component == Component::Bus)
        return startBus();
    if (component >= Component::GnomeShell)
        return startShell(component);
    // What each program needs first: the watcher a bus, the others a display, the host a
    // watcher, the portal its backend, which needs a bus too.
    const Component first = component == Component::Watcher ? Component::Bus : Component::Display;
    const Component second = component == Component::SniHost         ? Component::Watcher
                             : component == Component::Portal        ? Component::PortalBackend
                             : component == Component::PortalBackend ? Component::Bus
                                                                     : first;
    for (const Component need : {first, second}) {
        if (auto ok = start(need); !ok)
            return ok;
    }
    const auto owner = [this](const char *selection) {
        return [this, selection] { return ownsSelection(selection); };
    };
    switch (component) {
    case Component::WindowManager:
        return startProgram(component, {u"openbox"_s, u"--sm-disable"_s}, owner("WM_S0"));
    case Component::Watcher:
        return startProgram(component, {u"status-notifier-watcher"_s},
                            [this] { return busHasName(QString::fromLatin1(watcherName)); });
    case Component::SniHost:
        return startProgram(component,
                            {u"gtk-sni-tray-standalone"_s, u"--top"_s, u"--end"_s, u"--size"_s,
                             u"30"_s, u"--color"_s, m_lightPanels ? u"#f0f0f0"_s : u"#303030"_s},
                            [this] { return hostRegistered(); });
    case Component::XEmbedTray:
        // trayer draws black; a light panel is a pseudo-transparent one over a light wallpaper.
        if (m_lightPanels && !setWallpaper(0xf0f0f0))
            return Outcome::failed(u"cannot set a wallpaper"_s);
        return startProgram(
            component,
            QStringList{u"trayer"_s, u"--edge"_s, u"top"_s, u"--align"_s, u"right"_s,
                        u"--widthtype"_s, u"request"_s, u"--height"_s, u"24"_s, u"--SetDockType"_s,
                        u"true"_s} +
                (m_lightPanels ? QStringList{u"--transparent"_s, u"true"_s, u"--alpha"_s, u"255"_s}
                               : QStringList()),
            owner("_NET_SYSTEM_TRAY_S0"));
    case Component::PortalBackend: {
        QFile keyfile(m_dir.filePath(u"config/glib-2.0/settings/keyfile"_s));
        const QByteArray scheme = "\n[org/gnome/desktop/interface]\ncolor-scheme='prefer-" +
                                  QByteArray(m_lightPanels ? "light" : "dark") + "'\n";
        if (!QDir().mkpath(QFileInfo(keyfile).path()) || !keyfile.open(QIODevice::Append) ||
            keyfile.write(scheme) != scheme.size())
            return Outcome::failed(u"cannot write the portal's settings"_s);
        return startProgram(component, {u"/usr/libexec/xdg-desktop-portal-gtk"_s}, [this] {
            return busHasName(u"org.freedesktop.impl.portal.desktop.gtk"_s);
        });
    }
    case Component::Portal:
        return startProgram(component, {u"/usr/libexec/xdg-desktop-portal"_s},
                            [this] { return busHasName(u"org.freedesktop.portal.Desktop"_s); });
    default:
        return startProgram(component, {u"xcompmgr"_s}, owner("_NET_WM_CM_S0"));
    }
}

QByteArray DesktopSession::startAnnouncing(Component component, const QStringList &command)
{
    // The program writes one line to the descriptor that "FD" stands for in its arguments.
    int fds[2];
    if (QStandardPaths::findExecutable(command.first()).isEmpty() || ::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    QStringList arguments = command;
    arguments.replaceInStrings(u"FD"_s, QString::number(fds[1]));
    const int pid = spawn(arguments, command.first(), fds[1]);
    ::close(fds[1]);
    const QByteArray line = pid > 0 ? readLine(fds[0], readyTimeout) : QByteArray();
    ::close(fds[0]);
    m_children[component] = {pid};
    if (line.isEmpty())
        stop(component, true);
    return line;
}

DesktopSession::Outcome DesktopSession::startDisplay()
{
    // Xvfb picks a free display number and writes it once it accepts clients.
    const QByteArray number = startAnnouncing(
        Component::Display, {u"Xvfb"_s, u"-displayfd"_s, u"FD"_s, u"-screen"_s, u"0"_s,
                             u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
    if (number.isEmpty())
        return failedToStart(u"Xvfb"_s);
    m_display = u":"_s + QString::fromLatin1(number);
    if (!withX([](xcb_connection_t *, const xcb_screen_t *) {})) {
        stop(Component::Display, true);
        return Outcome::failed(u"display %1 does not answer"_s.arg(m_display));
    }
    return {};
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

DesktopSession::Outcome DesktopSession::startBus()
{
    // A configuration of our own: the system's session configuration would activate whatever
    // services are installed (a real portal, say) on this bus.
    const QString config = m_dir.filePath(u"bus.conf"_s);
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Outcome::failed(u"cannot write %1"_s.arg(config));
    file.write(
        u"<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
        "<auth>EXTERNAL</auth><policy context=\"default\">"
        "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
        "<allow own=\"*\"/></policy></busconfig>\n"_s.arg(m_dir.filePath(u"runtime"_s))
            .toUtf8());
    file.close();
    m_busAddress = QString::fromLocal8Bit(
        startAnnouncing(Component::Bus, {u"dbus-daemon"_s, u"--config-file="_s + config,
                                         u"--nofork"_s, u"--print-address=FD"_s}));
    return m_busAddress.isEmpty() ? failedToStart(u"dbus-daemon"_s) : Outcome{};
}

DesktopSession::Outcome DesktopSession::failedToStart(const QString &program) const
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return notInstalled(program);
    return Outcome::failed(u"%1 did not start: %2"_s.arg(
        program, logTail(m_dir.filePath(u"logs/%1.log"_s.arg(program)))));
}

DesktopSession::Outcome DesktopSession::startProgram(Component component,
                                                     const QStringList &command,
                                                     const std::function<bool()> &ready)
{
    if (QStandardPaths::findExecutable(command.first()).isEmpty())
        return notInstalled(command.first());
    const int pid = spawn(command, command.first(), -1);
    m_children[component] = {pid};
    if (pid <= 0)
        return Outcome::failed(u"cannot start %1"_s.arg(command.first()));
    return waitReady(component, ready);
}

DesktopSession::Outcome DesktopSession::waitReady(Component component,
                                                  const std::function<bool()> &ready)
{
    const int pid = m_children[component].pid;
    bool died = false;
    const bool ok = waitUntil(
        [&] {
            died = !alive(pid);
            return died || ready();
        },
        readyTimeout);
    if (ok && !died)
        return {};
    const QString program = programOf(component);
    stop(component, true);
    return Outcome::failed(
        u"%1 %2: %3"_s.arg(program, died ? u"exited"_s : u"did not get ready"_s,
                           logTail(m_dir.filePath(u"logs/%1.log"_s.arg(program)))));
}

int DesktopSession::spawn(const QStringList &command, const QString &logName, int inheritedFd) const
{
    // Everything the child needs is prepared before fork: after it only async-signal-safe
    // calls are allowed in a threaded process.
    const QByteArray executable =
        QFile::encodeName(QStandardPaths::findExecutable(command.first()));
    QList<QByteArray> arguments;
    for (const QString &argument : command)
        arguments.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QList<QByteArray> variables;
    const QProcessEnvironment env = environment();
    for (const QString &key : env.keys())
        variables.append((key + u'=' + env.value(key)).toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const QByteArray logPath = QFile::encodeName(m_dir.filePath(u"logs/%1.log"_s.arg(logName)));
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // The desktop must not outlive a test process that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int null = ::open("/dev/null", O_RDONLY);
        const int log = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (null >= 0)
            ::dup2(null, STDIN_FILENO);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        if (inheritedFd >= 0)
            ::fcntl(inheritedFd, F_SETFD, 0);
        ::execve(executable.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid > 0)
        ::setpgid(pid, pid); // also here, so a stop right after fork finds the group
    return pid;
}

void DesktopSession::stop(Component component, bool hard)
{
    const auto found = m_children.find(component);
    if (found == m_children.end())
        return;
    const int pid = found->second.pid;
    const std::vector<int> helpers = found->second.helpers;
    m_children.erase(found);
    if (component == Component::Display)
        m_display.clear();
    if (component == Component::Bus) {
        QDBusConnection::disconnectFromBus(u"velmora-desktop-session-%1"_s.arg(quintptr(this)));
        m_busAddress.clear();
    }
    if (pid <= 0)
        return;
    ::kill(-pid, hard ? SIGKILL : SIGTERM);
    const QDeadlineTimer deadline(std::chrono::seconds(1));
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        QThread::msleep(10);
    }
    // Helpers the program started in its group go too.
    ::kill(-pid, SIGKILL);
    for (const int helper : helpers) {
        ::kill(-helper, SIGKILL);
        ::waitpid(helper, nullptr, 0);
    }
}

bool DesktopSession::isRunning(Component component) const
{
    const auto found = m_children.find(component);
    return found != m_children.end() && alive(found->second.pid);
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto &name : {u"WAYLAND_DISPLAY"_s, u"SESSION_MANAGER"_s, u"DESKTOP_AUTOSTART_ID"_s})
        env.remove(name);
    if (!m_display.isEmpty())
        env.insert(u"DISPLAY"_s, m_display);
    else
        env.remove(u"DISPLAY"_s);
    // Without a bus of our own, point at none rather than at the user's.
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s,
               m_busAddress.isEmpty() ? u"unix:path=%1"_s.arg(m_dir.filePath(u"no-bus"_s))
                                      : m_busAddress);
    env.insert(u"XDG_RUNTIME_DIR"_s, m_dir.filePath(u"runtime"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
    env.insert(u"XDG_CACHE_HOME"_s, m_dir.filePath(u"cache"_s));
    env.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"data"_s));
    env.insert(u"HOME"_s, m_dir.filePath(u"home"_s));
    env.insert(u"XDG_SESSION_TYPE"_s, u"x11"_s);
    env.insert(u"GDK_BACKEND"_s, u"x11"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"NO_AT_BRIDGE"_s, u"1"_s); // no accessibility bus to look for
    // The private bus activates nothing, so no dconf: GSettings come from a key file.
    env.insert(u"GSETTINGS_BACKEND"_s, u"keyfile"_s);
    // As the desktop's session manager would say.
    for (const auto &[shell, name] :
         {std::pair{Component::GnomeShell, u"GNOME"_s}, std::pair{Component::Xfce, u"XFCE"_s},
          std::pair{Component::Plasma, u"KDE"_s}}) {
        if (m_children.contains(shell))
            env.insert(u"XDG_CURRENT_DESKTOP"_s, name);
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

QString DesktopSession::screenshot(const QString &name) const
{
    const QString directory = qEnvironmentVariable("VELMORA_ARTIFACTS");
    if (directory.isEmpty() || !QDir().mkpath(directory))
        return {};
    const QString file = QDir(directory).filePath(name + u".png"_s);
    const QImage image = grab();
    return !image.isNull() && image.save(file) ? file : QString();
}

QString DesktopSession::run(const QStringList &command, int *exitCode,
                            QProcessEnvironment env) const
{
    QProcess process;
    process.setProcessEnvironment(env.isEmpty() ? environment() : env);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(15'000)) {
        process.kill();
        process.waitForFinished();
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void DesktopSession::click(const QPoint &at, int button) const
{
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
    g_current = this;
    Outcome outcome = start(Component::Display);
    if (outcome)
        outcome = start(Component::Bus);
    if (!outcome)
        m_skipReason = outcome.message;
    const QProcessEnvironment env = environment();
    for (const QString &key : env.keys())
        qputenv(key.toLocal8Bit().constData(), env.value(key).toLocal8Bit());
    for (const char *name : {"WAYLAND_DISPLAY", "SESSION_MANAGER", "DESKTOP_AUTOSTART_ID"})
        qunsetenv(name);
    if (!outcome) {
        qunsetenv("DISPLAY");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::fprintf(stderr, "desktop session unavailable: %s\n", qPrintable(m_skipReason));
    }
}

DesktopSession *DesktopSession::current()
{
    return g_current;
}

QDBusConnection DesktopSession::bus() const
{
    return QDBusConnection::connectToBus(m_busAddress,
                                         u"velmora-desktop-session-%1"_s.arg(quintptr(this)));
}

bool DesktopSession::busHasName(const QString &name, bool prefix) const
{
    if (m_busAddress.isEmpty())
        return false;
    const QDBusReply<QStringList> names = bus().interface()->registeredServiceNames();
    return names.isValid() && std::ranges::any_of(names.value(), [&](const QString &owned) {
               return prefix ? owned.startsWith(name) : owned == name;
           });
}

QVariant DesktopSession::watcherProperty(const QString &name) const
{
    if (!busHasName(QString::fromLatin1(watcherName)))
        return {};
    QDBusMessage get = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherName), u"/StatusNotifierWatcher"_s,
        u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << QString::fromLatin1(watcherName) << name;
    const QDBusMessage reply = bus().call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? reply.arguments().first().value<QDBusVariant>().variant()
               : QVariant();
}

bool DesktopSession::hostRegistered() const
{
    return watcherProperty(u"IsStatusNotifierHostRegistered"_s).toBool();
}

QStringList DesktopSession::registeredItems() const
{
    return watcherProperty(u"RegisteredStatusNotifierItems"_s).toStringList();
}

bool DesktopSession::withX(
    const std::function<void(xcb_connection_t *, const xcb_screen_t *)> &use) const
{
    if (m_display.isEmpty())
        return false;
    xcb_connection_t *connection = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    if (ok) {
        use(connection, xcb_setup_roots_iterator(xcb_get_setup(connection)).data);
        // A round trip: the server may drop requests still unread when the connection ends.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    xcb_disconnect(connection);
    return ok;
}

QImage DesktopSession::grab() const
{
    QImage image;
    withX([&image](xcb_connection_t *connection, const xcb_screen_t *screen) {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                          screen->width_in_pixels, screen->height_in_pixels, ~0u),
            nullptr);
        // A 24-bit display hands out 32-bit pixels, the layout of QImage::Format_RGB32.
        if (reply && reply->depth == 24)
            image = QImage(xcb_get_image_data(reply), screen->width_in_pixels,
                           screen->height_in_pixels, QImage::Format_RGB32)
                        .copy();
        std::free(reply);
    });
    return image;
}

bool DesktopSession::ownsSelection(const char *selection) const
{
    bool owned = false;
    withX([&](xcb_connection_t *connection, const xcb_screen_t *) {
        xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, atom(connection, selection)), nullptr);
        owned = owner && owner->owner != XCB_NONE;
        std::free(owner);
    });
    return owned;
}

} // namespace velmora
