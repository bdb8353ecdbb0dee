// The shipped program, unchanged, on a private desktop (display, session bus, tray watcher and
// host), whose geolocation and speed-test hosts resolve to a local stand-in: a private network
// and mount namespace bind-mounts a hosts file over /etc/hosts and a directory holding only a
// test authority over /etc/ssl/certs, so certificate checking stays on.

#include "../model/privatenetwork.h"
#include "accessibletree.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testserver.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTest>
#include <QUrlQuery>

#include <sys/mount.h>
#include <unistd.h>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString address = u"203.0.113.42"_s;
const QByteArray standInAnswer = R"({"success":true,"ip":"203.0.113.42","country":"Germany",
    "country_code":"DE","city":"Berlin","connection":{"asn":3320,"isp":"Deutsche Telekom AG"},
    "timezone":{"id":"Europe/Berlin"}})";

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 20s)
{
    return DesktopSession::waitUntil(condition, timeout);
}

// The file's path, or empty when it could not be written.
QString writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? path
                                                                                    : QString();
}

bool bindOver(const QString &source, const char *target)
{
    return !source.isEmpty() &&
           mount(QFile::encodeName(source).constData(), target, nullptr, MS_BIND, nullptr) == 0;
}

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

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<TestServer> m_server;
    QProcess m_velmora;
    QProcess m_accessibilityBus;
    std::unique_ptr<test::AccessibleTree> m_tree;
    QRect m_item;

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

    // Whether the screen stays the same for a moment; screen is what it shows.
    bool still(QImage &screen) const
    {
        const QImage first = m_session->grab();
        QTest::qWait(300);
        screen = m_session->grab();
        return screen == first;
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

        // Online over a wired link: a default route out of an up veth pair.
        VERIFY_IP(u"link set lo up\n"
                  "link add v0 type veth peer name v1\n"
                  "addr add 10.9.0.1/24 dev v0\n"
                  "link set v0 up\nlink set v1 up\n"
                  "route add default via 10.9.0.2 dev v0\n"_s);

        const QStringList hosts{u"ipwho.is"_s, u"ipapi.co"_s, u"speed.cloudflare.com"_s};
        m_certificates = std::make_unique<TestCertificates>(hosts);
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        const QString dir = m_session->path();
        QVERIFY(bindOver(
            writeFile(dir + u"/hosts"_s, "127.0.0.1 localhost " + hosts.join(u' ').toUtf8() + "\n"),
            "/etc/hosts"));
        QVERIFY(bindOver(
            writeFile(dir + u"/resolv.conf"_s, "nameserver 192.0.2.53\nnameserver 192.0.2.54\n"),
            "/etc/resolv.conf"));
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
        m_tree = std::make_unique<test::AccessibleTree>();
        QVERIFY(m_tree->isConnected());

        m_velmora.setProcessEnvironment(environment());
        m_velmora.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_velmora.start(QStringLiteral(VELMORA_BINARY), {});
        QVERIFY(m_velmora.waitForStarted());
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&m_velmora, &m_accessibilityBus}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }

    // Opened by a real click on the item as the host draws it, the popover shows the stand-in's
    // place to assistive technology, clear of the item and on the screen.
    void clickOpensThePopoverClearOfTheItem()
    {
        // The flag and the rates side by side: wide, once the lookup has its flag.
        QVERIFY(waitFor([this] {
            m_item = drawnItem(m_session->grab(), qRgb(0x30, 0x30, 0x30));
            return m_item.width() > 2 * m_item.height() && m_server->requests().size() >= 1;
        }));
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
        QImage before, after;
        QVERIFY(waitFor([&] { return still(before); }));
        m_session->click(m_item.center());
        xdotool(away);
        QRect window;
        QVERIFY(waitFor([&] { return !(window = popover()).isNull() && still(after); }));
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
    // Namespaces first: they cannot be entered once threads exist.
    if (geteuid() == 0)
        test::enterPrivateNetwork();
    DesktopSession session;
    session.enterFromMain();
    QApplication app(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
