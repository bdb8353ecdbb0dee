// The shipped program, unchanged, on private desktops. First on the panels of real desktop
// shells (GNOME Shell with the AppIndicator extension, Xfce, Plasma) and of trayer over XEmbed,
// dark and light, read back from the screen: offline, with frames on a wired link of its own
// for live rates. Then online on a desktop of openbox and an SNI host, whose geolocation and
// speed-test hosts resolve to a local stand-in: the private mount namespace bind-mounts a hosts
// file over /etc/hosts and a directory holding only a test authority over /etc/ssl/certs, so
// certificate checking stays on.

#include "../model/privatenetwork.h"
#include "../ui/pixels.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testserver.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Component = DesktopSession::Component;

const QString address = u"203.0.113.42"_s;
const QByteArray standInAnswer = R"({"success":true,"ip":"203.0.113.42","country":"Germany",
    "country_code":"DE","city":"Berlin","connection":{"asn":3320,"isp":"Deutsche Telekom AG"},
    "timezone":{"id":"Europe/Berlin"}})";

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 20s)
{
    return DesktopSession::waitUntil(condition, timeout);
}

// Mounts path over target, after writing content to it unless that is empty.
bool bindOver(const QString &path, const char *target, const QByteArray &content = {})
{
    QFile file(path);
    return (content.isEmpty() ||
            (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())) &&
           mount(QFile::encodeName(path).constData(), target, nullptr, MS_BIND, nullptr) == 0;
}

// Reads another program's widgets the way assistive technology does, over the accessibility
// bus: names (a label's or a button's text) and the actions of buttons.
class AccessibleTree
{
public:
    // Connects to the accessibility bus of the session bus this process uses.
    AccessibleTree()
    {
        const QDBusReply<QString> address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s, u"GetAddress"_s));
        if (address.isValid())
            m_bus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(address.value(), u"a11y"_s));
    }
    ~AccessibleTree()
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(u"a11y"_s);
    }

    bool isConnected() const { return m_bus && m_bus->isConnected(); }

    // The names of every node of the application named application, depth first.
    QStringList names(const QString &application) const
    {
        QStringList result;
        for (const Node &node : nodes(application))
            result.append(node.name);
        return result;
    }

    // Runs the first action (a button's press) of the first node of application whose name
    // is name; false when there is none.
    bool press(const QString &application, const QString &name) const
    {
        for (const Node &node : nodes(application)) {
            if (node.name == name)
                return call(node, u"org.a11y.atspi.Action"_s, u"DoAction"_s, {0}).type() ==
                       QDBusMessage::ReplyMessage;
        }
        return false;
    }

private:
    struct Node
    {
        QString service;
        QString path;
        QString name{};
    };

    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        message.setArguments(arguments);
        return m_bus->call(message);
    }

    QList<Node> children(const Node &parent) const
    {
        const QDBusMessage reply = call(parent, u"org.a11y.atspi.Accessible"_s, u"GetChildren"_s);
        QList<Node> result;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return result;
        const auto argument = reply.arguments().first().value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Node child;
            QDBusObjectPath path;
            argument.beginStructure();
            argument >> child.service >> path;
            argument.endStructure();
            child.path = path.path();
            result.append(child);
        }
        argument.endArray();
        return result;
    }

    QString name(const Node &node) const
    {
        const QDBusReply<QDBusVariant> reply =
            call(node, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                 {u"org.a11y.atspi.Accessible"_s, u"Name"_s});
        return reply.isValid() ? reply.value().variant().toString() : QString();
    }

    // Every node of application, depth first.
    QList<Node> nodes(const QString &application) const
    {
        QList<Node> found;
        const std::function<void(Node, int)> walk = [&](Node node, int depth) {
            node.name = name(node);
            found.append(node);
            // Widget trees here are a dozen levels deep; a cycle must not hang the test.
            for (const Node &child : depth < 40 ? children(node) : QList<Node>())
                walk(child, depth + 1);
        };
        for (const Node &app :
             children({u"org.a11y.atspi.Registry"_s, u"/org/a11y/atspi/accessible/root"_s})) {
            if (name(app) == application)
                walk(app, 0);
        }
        return found;
    }

    std::unique_ptr<QDBusConnection> m_bus;
};

// The rectangle the panel item is drawn in: whatever differs from the panel's colour in the
// rows of the panel along the top of screen.
QRect drawnItem(const QImage &screen, QRgb panel)
{
    QRect item;
    for (int y = 0; y < screen.height() && screen.pixel(0, y) == panel; ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            if (screen.pixel(x, y) != panel)
                item |= QRect(x, y, 1, 1);
        }
    }
    return item;
}

bool differs(QRgb a, QRgb b, int by)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) >
           by;
}

// What a window drew within area: the pixels it changed by more than a faint shadow would.
QRect drawnBetween(const QImage &before, const QImage &after, const QRect &area)
{
    QRect drawn;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (differs(before.pixel(x, y), after.pixel(x, y), 150))
                drawn |= QRect(x, y, 1, 1);
        }
    }
    return drawn;
}

// The most frequent colour in area: a panel's background.
QRgb dominantColour(const QImage &image, const QRect &area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    return std::ranges::max_element(counts, {}, [](const auto &entry) { return entry.second; })
        ->first;
}

// Splits [0, size) into runs of indices where has(i), bridging up to gap indices without.
QList<std::pair<int, int>> runs(int size, int gap, const std::function<bool(int)> &has)
{
    QList<std::pair<int, int>> found;
    for (int i = 0; i < size; ++i) {
        if (!has(i))
            continue;
        if (!found.isEmpty() && i - found.last().second <= gap + 1)
            found.last().second = i;
        else
            found.append({i, i});
    }
    return found;
}

// Where after shows something new in strip: of the runs of changed columns not merely moved
// sideways (a panel shifts its other icons to make room), the most changed. Null if none.
QRect newContent(const QImage &before, const QImage &after, const QRect &strip)
{
    const auto changed = [&](int x) {
        for (int y = strip.top(); y <= strip.bottom(); ++y)
            if (before.pixel(x, y) != after.pixel(x, y))
                return true;
        return false;
    };
    const auto moved = [&](int left, int right) {
        for (int shift = -120; shift <= 120; ++shift) {
            if (shift == 0 || left + shift < 0 || right + shift >= before.width())
                continue;
            int same = 0;
            for (int x = left; x <= right; ++x)
                for (int y = strip.top(); y <= strip.bottom(); ++y)
                    same += before.pixel(x + shift, y) == after.pixel(x, y);
            // Where it moved from changed too; else a plain stretch of panel would match.
            int vacated = 0;
            for (int x = left; x <= right; ++x)
                vacated += changed(x + shift);
            if (same >= 0.97 * (right - left + 1) * strip.height() &&
                2 * vacated > right - left + 1)
                return true;
        }
        return false;
    };
    // Text elsewhere re-rendered at a new subpixel offset changes a little; the new item most.
    const auto weight = [&](int left, int right) {
        int strong = 0;
        for (int x = left; x <= right; ++x)
            for (int y = strip.top(); y <= strip.bottom(); ++y) {
                const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
                strong += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))}) > 48;
            }
        return strong;
    };
    QRect box;
    int heaviest = 0;
    // Bridging a word space: a label's words belong to one item.
    for (const auto &[left, right] : runs(strip.right() + 1, 8, changed)) {
        if (const int strong = weight(left, right); strong > heaviest && !moved(left, right)) {
            heaviest = strong;
            box = QRect(left, strip.top(), right - left + 1, strip.height());
        }
    }
    return box;
}

struct Legibility
{
    double bestContrast = 1;
    int lineHeight = 0; // of the tallest line of text ink
};

// Ink is what stands out from background at 4.5:1 or more. The text is its widest block of
// columns (a glyph beside it is narrower); its lines are the row runs within that block.
Legibility legibility(const QImage &image, const QRect &area, QRgb background)
{
    Legibility result;
    const auto ink = [&](int x, int y) {
        const double ratio = pixels::contrast(image.pixel(x, y), background);
        result.bestContrast = std::max(result.bestContrast, ratio);
        return ratio >= 4.5;
    };
    const auto blocks = runs(area.width(), 4, [&](int column) {
        bool any = false;
        for (int y = area.top(); y <= area.bottom(); ++y)
            any = ink(area.left() + column, y) || any;
        return any;
    });
    if (blocks.isEmpty())
        return result;
    const auto text = *std::ranges::max_element(
        blocks, {}, [](const auto &block) { return block.second - block.first; });
    for (const auto &[top, bottom] : runs(area.height(), 0, [&](int row) {
             for (int column = text.first; column <= text.second; ++column)
                 if (ink(area.left() + column, area.top() + row))
                     return true;
             return false;
         }))
        result.lineHeight = std::max(result.lineHeight, bottom - top + 1);
    // A line of text is wider than high ("0K" is); a lone glyph, or a sliver of one, is not.
    if (text.second - text.first + 1 < 1.3 * result.lineHeight)
        result.lineHeight = 0;
    return result;
}

// Frames put straight onto one end of a veth pair named like Ethernet: the program counts
// them on both ends and shows live rates, and nothing leaves the namespace.
class WiredTraffic
{
public:
    QString start()
    {
        if (const QString error = test::ip(u"link add eth0 type veth peer name eth1\n"
                                           "link set eth0 up\nlink set eth1 up\n"_s);
            !error.isEmpty())
            return error;
        m_socket = ::socket(AF_PACKET, SOCK_RAW, 0);
        m_link.sll_family = AF_PACKET;
        m_link.sll_ifindex = int(if_nametoindex("eth0"));
        m_link.sll_halen = 6;
        m_link.sll_protocol = htons(0x88b5);
        if (m_socket < 0 || m_link.sll_ifindex == 0)
            return u"no packet socket on eth0"_s;
        // Locally administered addresses and the local experimental EtherType.
        const unsigned char header[] = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x88, 0xb5};
        m_frame = QByteArray(reinterpret_cast<const char *>(header), sizeof header);
        m_frame.append(1000, '\0');
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            // A rate that changes every second, as on a desktop in use.
            const int frames = ++m_ticks / 10 % 2 ? 15 : 25;
            for (int i = 0; i < frames; ++i) {
                if (::sendto(m_socket, m_frame.constData(), size_t(m_frame.size()), 0,
                             reinterpret_cast<const sockaddr *>(&m_link), sizeof m_link) < 0)
                    qWarning("sendto: %s", strerror(errno));
            }
        });
        m_timer.start(100);
        return {};
    }

    ~WiredTraffic()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

private:
    int m_socket = -1;
    sockaddr_ll m_link{};
    QByteArray m_frame;
    QTimer m_timer;
    int m_ticks = 0;
};

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<TestServer> m_server;
    QProcess m_velmora;
    QProcess m_accessibilityBus;
    std::unique_ptr<AccessibleTree> m_tree;
    std::unique_ptr<WiredTraffic> m_traffic;
    QRect m_item;
    bool m_online = false;

    void startVelmora(const QProcessEnvironment &env)
    {
        m_velmora.setProcessEnvironment(env);
        m_velmora.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_velmora.start(QStringLiteral(VELMORA_BINARY), {});
    }

    void stopVelmora()
    {
        m_velmora.terminate();
        if (!m_velmora.waitForFinished(3000)) {
            m_velmora.kill();
            m_velmora.waitForFinished();
        }
    }

    static void setTheme(const DesktopSession &session, const QString &theme)
    {
        QDir(session.path()).mkpath(u"config/velmora"_s);
        QFile settings(session.path() + u"/config/velmora/settings.json"_s);
        QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(u"{\"theme\": \"%1\"}"_s.arg(theme).toUtf8());
    }

    // Clocks on these panels show minutes: keep a minute's turn out of the next few seconds.
    static void avoidMinuteTurn(int seconds)
    {
        const int second = QTime::currentTime().second();
        if (second >= 60 - seconds)
            QTest::qWait((61 - second) * 1000);
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = m_session->environment();
        // Lets the test read and press the program's widgets.
        env.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
        return env;
    }

    QString xdotool(const QStringList &arguments) const
    {
        return m_session->run(QStringList{u"xdotool"_s} + arguments);
    }

    // The popover's window as the X server has it; null while none is shown.
    QRect popover() const { return m_session->windowGeometry({u"--name"_s, u"^Velmora$"_s}); }

    bool showsAll(const QStringList &texts) const
    {
        const QStringList names = m_tree->names(u"velmora"_s);
        return std::ranges::all_of(texts,
                                   [&](const QString &text) { return names.contains(text); });
    }

    QJsonObject storedSettings() const
    {
        QFile file(environment().value(u"XDG_CONFIG_HOME"_s) + u"/velmora/settings.json"_s);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    // A click outside (on the panel, which takes no focus) or Escape closes the popover in its
    // default mode.
    bool closePopover(bool byKey = false) const
    {
        if (byKey)
            xdotool({u"key"_s, u"Escape"_s});
        else
            m_session->click({100, m_item.center().y()});
        return waitFor([this] { return popover().isNull(); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        DESKTOP_SESSION_REQUIRE();
        m_session = DesktopSession::current();
        m_traffic = std::make_unique<WiredTraffic>();
        QVERIFY2(m_traffic->start().isEmpty(), "no traffic for live rates");
    }

    // The shells' rows run offline; what follows them goes online once, on the desktop of
    // main(), and is skipped if that fails.
    void init()
    {
        if (qstrcmp(QTest::currentTestFunction(), "itemOnThePanel") == 0 || m_online)
            return;
        if (std::exchange(m_tried, true))
            QSKIP("the online desktop did not start");
        startOnline();
    }

    void cleanupTestCase()
    {
        stopVelmora();
        m_accessibilityBus.terminate();
        if (!m_accessibilityBus.waitForFinished(3000))
            m_accessibilityBus.kill();
    }

    void itemOnThePanel_data()
    {
        QTest::addColumn<Component>("shell");
        QTest::addColumn<bool>("lightPanel");
        QTest::addColumn<bool>("topPanel");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<int>("starts");
        // GNOME's top bar is dark whatever it is asked; trayer carries the item over XEmbed.
        QTest::newRow("gnome") << Component::GnomeShell << false << true << 32 << 20;
        QTest::newRow("xfce-dark") << Component::Xfce << false << true << 26 << 20;
        QTest::newRow("xfce-light") << Component::Xfce << true << true << 26 << 1;
        QTest::newRow("plasma-dark") << Component::Plasma << false << false << 44 << 20;
        QTest::newRow("plasma-light") << Component::Plasma << true << false << 44 << 1;
        QTest::newRow("trayer-dark") << Component::XEmbedTray << false << true << 24 << 1;
        QTest::newRow("trayer-light") << Component::XEmbedTray << true << true << 24 << 1;
    }

    // The item shows within 2 s of every start, a real click opens the popover beside the
    // panel, and the rates read at 4.5:1 against the panel whichever theme Velmora has.
    void itemOnThePanel()
    {
        QFETCH(Component, shell);
        QFETCH(bool, lightPanel);
        QFETCH(bool, topPanel);
        QFETCH(int, panelHeight);
        QFETCH(int, starts);
        const QString host = QString::fromLatin1(QTest::currentDataTag());
        DesktopSession session;
        const auto quitFirst = qScopeGuard([this] { stopVelmora(); }); // before its desktop ends
        session.setLightPanels(lightPanel);
        QElapsedTimer starting;
        starting.start();
        auto outcome = session.start(Component::Bus);
        if (outcome)
            outcome = session.start(shell);
        if (outcome.kind == DesktopSession::Outcome::Kind::Missing)
            QSKIP(qPrintable(outcome.message));
        QVERIFY2(bool(outcome), qPrintable(outcome.message));
        qInfo("%s ready after %lld ms", qPrintable(host), starting.elapsed());
        const bool statusNotifier = shell != Component::XEmbedTray;
        const QSize screen = session.grab().size();
        const QRect strip(0, topPanel ? 0 : screen.height() - panelHeight, screen.width(),
                          panelHeight);

        // Each start begins from a panel at rest: panels re-lay out their clocks after an item
        // leaves.
        const auto panelAtRest = [&] {
            const QImage screen = session.stillScreen(500ms, 5s, strip);
            return screen.isNull() ? session.grab() : screen;
        };
        QImage before, after;
        QRect item;
        const QStringList itemsBefore = session.registeredItems();
        const auto stopGone = [&] {
            stopVelmora();
            QVERIFY2(waitFor([&] { return session.registeredItems() == itemsBefore; }, 5s),
                     "the item stays registered after the program ended");
        };
        const auto startShown = [&](bool last) {
            avoidMinuteTurn(last ? 10 : 4); // the last one is read after it settles
            before = panelAtRest();
            QElapsedTimer clock;
            clock.start();
            startVelmora(session.environment());
            const bool shown = waitFor(
                [&] {
                    if (statusNotifier && session.registeredItems().size() <= itemsBefore.size())
                        return false;
                    after = session.grab();
                    item = newContent(before, after, strip);
                    return !item.isNull();
                },
                5s);
            if (!shown)
                session.screenshot(u"realshell-%1-not-shown"_s.arg(host));
            QVERIFY2(shown && clock.elapsed() <= 2000,
                     qPrintable(u"shown: %1, after %2 ms"_s.arg(shown).arg(clock.elapsed())));
            if (!last)
                stopGone();
        };
        // Live rates come with the second traffic sample; drawn late parts (a label beside
        // the picture) settle before the panel is read.
        const auto ratesLegible = [&](const QString &theme) {
            QTest::qWait(2500);
            after = panelAtRest();
            item = newContent(before, after, strip);
            session.screenshot(u"realshell-%1-%2"_s.arg(host, theme));
            // Ink at 4.5:1 against the panel, in lines 7 px high or more (the digits of the
            // two-row picture), standing on the panel itself in no box of their own.
            const QRgb background = dominantColour(before, item);
            // Inset: a tray's own frame around the slot is no text.
            const Legibility read = legibility(after, item.adjusted(2, 2, -2, -2), background);
            // The panel is the one asked for: a dark one that stayed dark would prove nothing.
            QCOMPARE(pixels::contrast(background, qRgb(0, 0, 0)) >
                         pixels::contrast(background, qRgb(255, 255, 255)),
                     lightPanel);
            QVERIFY2(read.lineHeight >= 7 && dominantColour(after, item) == background,
                     qPrintable(u"theme %1: item %2 on %3: best contrast %4:1, text ink %5 px "
                                "high"_s.arg(theme, describe(item), QColor(background).name())
                                    .arg(read.bestContrast, 0, 'f', 1)
                                    .arg(read.lineHeight)));
        };

        setTheme(session, u"light"_s);
        for (int start = 1; start <= starts; ++start) {
            startShown(start == starts);
            if (QTest::currentTestFailed())
                return;
        }
        ratesLegible(u"light"_s);
        if (QTest::currentTestFailed())
            return;

        // A real click opens the popover, below a top panel, above a bottom one.
        session.run({u"xdotool"_s, u"mousemove"_s, QString::number(item.center().x()),
                     QString::number(item.center().y()), u"click"_s, u"1"_s});
        QRect popover;
        QVERIFY2(
            waitFor(
                [&] {
                    const QString window =
                        session
                            .run({u"xdotool"_s, u"search"_s, u"--onlyvisible"_s, u"--pid"_s,
                                  QString::number(m_velmora.processId())})
                            .section(u'\n', 0, 0);
                    QMap<QString, int> geometry;
                    for (const QString &line :
                         session.run({u"xdotool"_s, u"getwindowgeometry"_s, u"--shell"_s, window})
                             .split(u'\n'))
                        geometry[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
                    popover = QRect(geometry[u"X"_s], geometry[u"Y"_s], geometry[u"WIDTH"_s],
                                    geometry[u"HEIGHT"_s]);
                    return !window.isEmpty();
                },
                5s),
            qPrintable(u"no popover after a click at "_s + describe(item.center())));
        const QString where = u"popover at "_s + describe(popover);
        QVERIFY2(topPanel ? popover.top() >= strip.bottom() - 1
                          : popover.bottom() <= strip.top() + 1,
                 qPrintable(where));
        // Mapped is not seen: most of its area must show something new on the screen.
        const QRect onScreen = popover & after.rect();
        QVERIFY2(waitFor(
                     [&] {
                         const QImage now = session.grab();
                         qsizetype changed = 0;
                         for (int y = onScreen.top(); y <= onScreen.bottom(); y += 4)
                             for (int x = onScreen.left(); x <= onScreen.right(); x += 4)
                                 changed += now.pixel(x, y) != after.pixel(x, y);
                         return changed * 16 * 2 > qsizetype(onScreen.width()) * onScreen.height();
                     },
                     5s),
                 qPrintable(where + u" is not on the screen"_s));
        session.screenshot(u"realshell-%1-popover"_s.arg(host));

        // Velmora's own theme is no guide to the panel's colour. The pointer leaves, so that the
        // panel does not highlight the item under it.
        stopGone();
        session.run({u"xdotool"_s, u"mousemove"_s, u"640"_s, u"400"_s});
        setTheme(session, u"dark"_s);
        startShown(true);
        if (!QTest::currentTestFailed())
            ratesLegible(u"dark"_s);
    }

private:
    bool m_tried = false;

    void startOnline()
    {
        // Online over the wired link, now quiet: a default route out of it.
        m_traffic.reset();
        VERIFY_IP(u"link set lo up\naddr add 10.9.0.1/24 dev eth0\n"
                  "route add default via 10.9.0.2 dev eth0\n"_s);

        const QStringList hosts{u"ipwho.is"_s, u"ipapi.co"_s, u"speed.cloudflare.com"_s};
        m_certificates = std::make_unique<TestCertificates>(hosts);
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        const QString dir = m_session->path();
        QVERIFY(bindOver(dir + u"/hosts"_s, "/etc/hosts",
                         "127.0.0.1 localhost " + hosts.join(u' ').toUtf8() + "\n"));
        QVERIFY(bindOver(dir + u"/resolv.conf"_s, "/etc/resolv.conf",
                         "nameserver 192.0.2.53\nnameserver 192.0.2.54\n"));
        QVERIFY(bindOver(m_certificates->caDirectory(), "/etc/ssl/certs"));

        m_server = std::make_unique<TestServer>(m_certificates->serverConfiguration(),
                                                QHostAddress::LocalHost, 443);
        QVERIFY2(m_server->isListening(), qPrintable(m_server->errorString()));
        m_server->setHandler([](const TestServer::Request &request) -> TestServer::Response {
            const QUrl url(QString::fromLatin1(request.path));
            if (url.path() == "/__down"_L1)
                return {.zeros = QUrlQuery(url).queryItemValue(u"bytes"_s).toLongLong()};
            if (url.path() == "/__up"_L1)
                return {};
            return {.body = standInAnswer};
        });

        DESKTOP_SESSION_START(*m_session, WindowManager);
        DESKTOP_SESSION_START(*m_session, Portal); // a desktop that prefers dark, as its panel is
        DESKTOP_SESSION_START(*m_session, SniHost);

        m_accessibilityBus.setProcessEnvironment(m_session->environment());
        m_accessibilityBus.start(u"/usr/libexec/at-spi-bus-launcher"_s,
                                 {u"--launch-immediately"_s});
        if (!m_accessibilityBus.waitForStarted())
            QSKIP("at-spi2-core is not installed");
        QVERIFY(waitFor([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                u"org.a11y.Bus"_s);
        }));
        m_tree = std::make_unique<AccessibleTree>();
        QVERIFY(m_tree->isConnected());

        startVelmora(environment());
        QVERIFY(m_velmora.waitForStarted());
        m_online = true;
    }

private Q_SLOTS:
    // Opened by a real click on the item as the host draws it, the popover shows the stand-in's
    // place to assistive technology, clear of the item and on the screen.
    void clickOpensThePopoverClearOfTheItem()
    {
        // The flag and the rates side by side: wide, once the lookup has its flag.
        QVERIFY(waitFor([this] {
            m_item = drawnItem(m_session->grab(), qRgb(0x30, 0x30, 0x30));
            return m_item.width() > 2 * m_item.height() && m_server->requests().size() >= 1;
        }));
        // The rates (the item's right half; the flag is on the left) read on the dark panel:
        // the desktop's portal says it prefers dark.
        Legibility rates;
        QVERIFY2(waitFor([&] {
                     rates =
                         legibility(m_session->grab(), m_item.adjusted(m_item.width() / 2, 0, 0, 0),
                                    qRgb(0x30, 0x30, 0x30));
                     return rates.lineHeight >= 7;
                 }),
                 qPrintable(QString::number(rates.bestContrast)));
        m_session->screenshot(u"desktop-tray"_s);
        m_session->click(m_item.center());
        QVERIFY(waitFor([this] { return !popover().isNull(); }));
        QVERIFY2(waitFor([this] {
                     return showsAll({u"Germany"_s, u"Berlin"_s, address,
                                      u"Deutsche Telekom AG · AS3320"_s, u"Ethernet"_s,
                                      u"Europe/Berlin"_s, u"192.0.2.53\n192.0.2.54"_s});
                 }),
                 qPrintable(m_tree->names(u"velmora"_s).join(u" | "_s)));
        const QRect shown = popover();
        QVERIFY2(!shown.intersects(m_item) && m_session->grab().rect().contains(shown),
                 qPrintable(describe(shown)));
        m_session->screenshot(u"desktop-popover-light"_s);
    }

    void copyPutsTheAddressOnTheClipboard()
    {
        QVERIFY(m_tree->press(u"velmora"_s, address));
        QVERIFY(waitFor([this] {
            return m_session->run({u"xclip"_s, u"-o"_s, u"-selection"_s, u"clipboard"_s}) ==
                   address;
        }));
    }

    void speedTestFillsTheFigures()
    {
        QVERIFY(m_tree->press(u"velmora"_s, u"Run test"_s));
        QVERIFY2(waitFor(
                     [this] {
                         const QStringList names = m_tree->names(u"velmora"_s);
                         return names.filter(u" Mbps"_s).size() == 2 &&
                                names.filter(u" ms"_s).size() == 1;
                     },
                     60s),
                 qPrintable(m_tree->names(u"velmora"_s).join(u" | "_s)));
    }

    void secondStartShowsThePopoverAndEnds()
    {
        QVERIFY(closePopover());
        // The second round from a terminal without a display: the hand-over needs only D-Bus.
        for (int round = 0; round < 2; ++round) {
            QProcessEnvironment env = environment();
            if (round == 1)
                env.remove(u"DISPLAY"_s);
            int exitCode = -1;
            m_session->run({QStringLiteral(VELMORA_BINARY), u"velmora://open"_s}, &exitCode, env);
            QCOMPARE(exitCode, 0);
            QVERIFY(waitFor([this] { return !popover().isNull(); }));
            QVERIFY(closePopover(round == 1));
        }
        QCOMPARE(m_velmora.state(), QProcess::Running);
    }

    void settingsChangeIsStored()
    {
        m_session->click(m_item.center());
        QVERIFY(waitFor([this] { return m_tree->press(u"velmora"_s, u"Settings…"_s); }));
        QVERIFY(waitFor([this] { return showsAll({u"Launch at Login"_s, u"Dark"_s}); }));
        // The title as the window manager shows it (_NET_WM_NAME), exactly.
        const QString window = xdotool({u"search"_s, u"--name"_s, u"^Velmora Settings"_s});
        QCOMPARE(
            m_session->run({u"xprop"_s, u"-id"_s, window.section(u'\n', 0, 0), u"_NET_WM_NAME"_s}),
            u"_NET_WM_NAME(UTF8_STRING) = \"Velmora Settings\""_s);
        m_session->screenshot(u"desktop-settings"_s);
        QVERIFY(m_tree->press(u"velmora"_s, u"Dark"_s));
        QVERIFY(waitFor([this] { return storedSettings().value(u"theme"_s) == u"dark"_s; }));
        QVERIFY(m_tree->press(u"velmora"_s, u"MB/s"_s));
        QVERIFY(waitFor([this] { return storedSettings().value(u"speedUnit"_s) == u"bytes"_s; }));
        int exitCode = -1;
        m_session->run({QStringLiteral(VELMORA_BINARY)}, &exitCode, environment());
        QCOMPARE(exitCode, 0);
        QVERIFY(waitFor([this] { return !popover().isNull(); }));
        QVERIFY(
            waitFor([this] { return m_tree->names(u"velmora"_s).filter(u" MB/s"_s).size() >= 2; }));
        m_session->screenshot(u"desktop-popover-dark"_s);
    }

    // Under a compositor: round corners and a shadow around what the window draws, which stays
    // the same size, clear of the item.
    void roundedWithAShadowUnderACompositor()
    {
        const QSize square = popover().size();
        // Another window taking the focus closes it too.
        xdotool({u"search"_s, u"--name"_s, u"^Velmora Settings"_s, u"windowactivate"_s});
        QVERIFY(waitFor([this] { return popover().isNull(); }));
        DESKTOP_SESSION_START(*m_session, Compositor);
        // The pointer away from the item, so that the host's tool tip is not in the picture.
        const QStringList away{u"mousemove"_s, u"640"_s, u"700"_s};
        xdotool(away);
        const QImage before = m_session->stillScreen(300ms);
        QVERIFY(!before.isNull());
        m_session->click(m_item.center());
        xdotool(away);
        QRect window;
        QVERIFY(waitFor([&] { return !(window = popover()).isNull(); }));
        const QImage after = m_session->stillScreen(300ms);
        QVERIFY(!after.isNull());
        m_session->screenshot(u"desktop-popover-composited"_s);
        QRect area = window & after.rect();
        area.setTop(std::max(area.top(), m_item.bottom() + 1)); // rates may change meanwhile
        const QRect drawn = drawnBetween(before, after, area);
        // A faint border may blend into the background.
        QVERIFY2(std::abs(drawn.width() - square.width()) <= 2 &&
                     std::abs(drawn.height() - square.height()) <= 2,
                 qPrintable(describe(drawn)));
        QVERIFY(!drawn.intersects(m_item));
        for (const QPoint corner : {drawn.topLeft(), drawn.topRight(), drawn.bottomLeft()})
            QVERIFY(!differs(before.pixel(corner), after.pixel(corner), 150));
        const QPoint below(drawn.center().x(), drawn.bottom() + 4);
        QVERIFY(qGray(after.pixel(below)) + 8 < qGray(before.pixel(below)));
    }
};

int main(int argc, char *argv[])
{
    // Namespaces first: they cannot be entered once threads exist. The program must not reach
    // the internet.
    if (geteuid() == 0)
        test::enterPrivateNetwork();
    else
        test::noPrivateNetwork = u"the shells and the private network need root"_s;
    DesktopSession session;
    session.enterFromMain();
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
