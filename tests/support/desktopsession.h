#pragma once

#include <QApplication>
#include <QDBusConnection>
#include <QDebug>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct wl_display;
struct xcb_connection_t;
struct xcb_screen_t;

namespace velmora {

// A private desktop for GUI, tray and end-to-end tests: an Xvfb display, a session bus of its
// own and, on demand, a window manager, a StatusNotifierWatcher, an SNI tray host, an XEmbed
// tray, an accessibility bus, or a whole desktop shell's panel. Each piece starts and stops on its
// own (tests restart the watcher); starting one starts what it needs first. Every program runs in a
// process group of its own and dies with this object, or with the test process if that dies first.
// Nothing of the user's own session is touched: display and bus are fresh, and XDG directories and
// HOME live in a temporary directory. Program output goes to <path()>/<program>.log.
class DesktopSession
{
public:
    enum class Component {
        Display, // Xvfb, 1280×800×24, on a display number it picks itself
        Bus,     // dbus-daemon, private configuration (no service activation); needs the display
        WindowManager, // openbox
        Watcher,       // status-notifier-watcher
        SniHost,       // gtk-sni-tray-standalone, a panel at the top of the screen
        XEmbedTray,    // trayer, at the top right
        Compositor,    // xcompmgr, so that windows with an alpha channel show what is behind them
        PortalBackend, // xdg-desktop-portal-gtk, reading GSettings from a key file
        Portal,        // xdg-desktop-portal: prefers dark, or light with light panels
        // at-spi2-core's accessibility bus, connected to as "a11y" (see AccessibleTree): Qt
        // programs started afterwards expose their widgets on it.
        Accessibility,
        // Real desktop shells, each its own window manager or beside openbox, watcher and host
        // (desktopshells.cpp). GNOME and Plasma get a system bus of their own in a private mount
        // namespace, so they need root and report Missing without.
        GnomeShell, // GNOME Shell 43 on X11 with the AppIndicator extension, panel at the top
        Xfce,       // xfce4-panel with its systray plugin, panel at the top
        Plasma,     // plasmashell beside openbox, kded5's watcher, panel at the bottom
        Lxqt,  // lxqt-panel beside openbox, its Status Notifier plugin the watcher, at the bottom
        IceWm, // icewm-session: IceWM and its task bar with an XEmbed tray, at the bottom
        // waybar with its tray, a bar at the top, on a headless sway with XWayland, both run by a
        // user of their own (sway refuses root): its screen and pointer then stand for Xvfb's.
        Waybar,
        Polybar, // polybar alone, a dark bar at the top, with the modules added and no tray
    };

    struct Outcome
    {
        enum class Kind { Started, Missing, Failed };
        Kind kind = Kind::Started;
        QString message{}; // why not, for Missing and Failed

        explicit operator bool() const { return kind == Kind::Started; }
        static Outcome missing(const QString &why) { return {Kind::Missing, why}; }
        static Outcome failed(const QString &why) { return {Kind::Failed, why}; }
    };

    DesktopSession();
    ~DesktopSession();

    // Starts the component (and what it needs) unless it runs already, and waits until it is
    // ready: Xvfb names its display, the bus hands out its address, the watcher's or host's name
    // is on the bus, the window manager or XEmbed tray owns its X selection.
    Outcome start(Component component);
    // Ends the component's process groups: SIGTERM, after 3 s SIGKILL; the daemons it started
    // with it afterwards. Components that need it keep running.
    void stop(Component component);
    // Panels started from now on are light (the default: dark where the program allows):
    // gtk-sni-tray's colour, trayer's tint, Xfce's dark mode, Plasma's Breeze or Breeze Dark,
    // LXQt's default theme or its dark one. GNOME's top bar is dark either way, IceWM's light.
    void setLightPanels(bool light) { m_lightPanels = light; }
    // A module of the user's own, at the start of the bars started from now on: on waybar a
    // member of its configuration ("name": {…}), on polybar a section ([module/name]), on
    // Xfce's panel the rc file of the plugin called name.
    void addPanelModule(const QString &name, const QByteArray &config)
    {
        m_panelModules.emplace_back(name, config);
    }

    QString busAddress() const { return m_busAddress; } // empty before the bus starts
    QString path() const { return m_dir.path(); }       // the session's temporary directory
    // The environment for programs run inside this desktop.
    QProcessEnvironment environment() const;

    // The items the StatusNotifierWatcher lists; empty without a watcher.
    QStringList registeredItems() const;
    // The screen as it is now; a null image when the display is not running.
    QImage grab() const;
    bool setWallpaper(quint32 rgb) const;
    // The screen once area (all of it when null) has held still for that long; null if it does
    // not within the timeout.
    QImage stillScreen(std::chrono::milliseconds still,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20),
                       const QRect &area = {}) const;
    // Saves the screen as <name>.png in the directory VELMORA_ARTIFACTS names, when it is set
    // and the display runs.
    void screenshot(const QString &name) const;
    // Runs a program in this desktop (env, or environment() when empty) to its end, 15 s at most:
    // what it wrote to standard output.
    QString run(const QStringList &command, int *exitCode = nullptr,
                QProcessEnvironment env = {}) const;
    // A real click: the pointer moves there and the button goes down and up.
    void click(const QPoint &at, int button = 1) const;
    // The first visible window xdotool finds with these search arguments; null when none.
    QRect windowGeometry(const QStringList &search) const;
    // Waits until ready() or the deadline, serving events; false on timeout.
    static bool waitUntil(const std::function<bool()> &ready,
                          std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        return QTest::qWaitFor(ready, int(timeout.count()));
    }

    // For DESKTOP_SESSION_TEST_MAIN: starts display and bus and points this process at them
    // (QT_QPA_PLATFORM=xcb, DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG directories). Must run
    // before the application object exists. On failure the process is pointed at the
    // offscreen platform and no bus, and skipReason() says why.
    void enterFromMain();
    // The session set up by DESKTOP_SESSION_TEST_MAIN, or nullptr.
    static DesktopSession *current() { return s_current; }
    QString skipReason() const { return m_skipReason; }

private:
    static constexpr std::chrono::milliseconds readyTimeout{10000};

    // How a component comes up (desktopshells.cpp): what runs first, programs or files it needs
    // besides its command, helpers and sway's user it starts first (prepare), its command, and
    // what says it is ready: the ready() test (by default: the watcher has a tray host), or a
    // line its command writes on standard output, stored in announces.
    struct Host
    {
        std::optional<Component> need = Component::Bus;
        QStringList needed{};
        bool asRoot = false; // sway's user or a shell's private system bus
        std::function<Outcome()> prepare{};
        QStringList command{};
        std::function<bool()> ready{};
        QString *announces = nullptr;
    };
    Host host(Component component);
    Outcome startSway();
    // Waits for a shell to finish painting (and GNOME's overview to close).
    Outcome settle(Component component);

    // Runs command as one of the component's processes, in a process group of its own, with its
    // output in <path()>/<program>.log, until ready() holds or, with announces, it has written a
    // line there on standard output. Fails when it exits or the timeout passes first.
    Outcome launch(Component component, const QStringList &command,
                   const std::function<bool()> &ready, QString *announces = nullptr);
    static QByteArray busConfiguration(const char *type, const QString &listen);
    QDBusConnection bus() const;
    bool ownsSelection(const char *selection) const;
    // Runs use on a connection of its own to the display; false when there is none.
    bool withX(const std::function<void(xcb_connection_t *, const xcb_screen_t *)> &use) const;
    bool busHasName(const QString &name, bool prefix = false) const;
    // A property of service's own interface at path; invalid when there is none.
    QVariant property(const QString &service, const QString &path, const QString &name) const;

    static inline DesktopSession *s_current = nullptr;
    static inline const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");

    QTemporaryDir m_dir;
    // Each one's daemons, then its program; in start order, as Component lists them.
    std::map<Component, std::vector<std::unique_ptr<QProcess>>> m_children;
    QString m_display; // its number
    QString m_busAddress;
    QString m_skipReason;
    bool m_lightPanels = false;
    std::vector<std::pair<QString, QByteArray>> m_panelModules;
    // While sway runs: how a program runs as its user, what its session adds to environment(),
    // and the connection that keeps a pointer device on its seat.
    QStringList m_asSwayUser;
    QProcessEnvironment m_swayEnvironment;
    std::shared_ptr<wl_display> m_pointer;
};

// "x,y w×h" and the like, for failure messages.
template<typename T> QString describe(const T &value)
{
    return QDebug::toString(value);
}

} // namespace velmora

// For a test function: skips the test when outcome is Missing (a program is not installed),
// fails it when it is Failed (the program does not come up).
#define VERIFY_STARTED(outcome)                                                                    \
    do {                                                                                           \
        const auto outcome_ = (outcome);                                                           \
        if (outcome_.kind == velmora::DesktopSession::Outcome::Kind::Missing)                      \
            QSKIP(qPrintable(outcome_.message));                                                   \
        QVERIFY2(bool(outcome_), qPrintable(outcome_.message));                                    \
    } while (false)

// Starts a component for a test function, as VERIFY_STARTED says.
#define DESKTOP_SESSION_START(session, component)                                                  \
    VERIFY_STARTED((session).start(velmora::DesktopSession::Component::component))

// Skips the calling test function when the private desktop of DESKTOP_SESSION_TEST_MAIN failed.
#define DESKTOP_SESSION_REQUIRE()                                                                  \
    do {                                                                                           \
        if (!velmora::DesktopSession::current()->skipReason().isEmpty())                           \
            QSKIP(qPrintable(velmora::DesktopSession::current()->skipReason()));                   \
    } while (false)

// main() for a test that runs inside a private desktop: display and bus exist before the
// QApplication, which therefore connects to them.
#define DESKTOP_SESSION_TEST_MAIN(TestObject)                                                      \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        velmora::DesktopSession session_;                                                          \
        session_.enterFromMain();                                                                  \
        QApplication app_(argc, argv);                                                             \
        app_.setQuitOnLastWindowClosed(false);                                                     \
        TestObject testObject_;                                                                    \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&testObject_, argc, argv);                                             \
    }
