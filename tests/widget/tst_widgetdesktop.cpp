// velmora-widget itself on a private desktop with openbox, its geolocation hosts resolved to a
// local stand-in as in the tray program's end-to-end test (private network and mount
// namespaces, a hosts file and a test authority bound over the system's). What it shows is
// read back from the screen against the views drawn here for the entries it should show, and
// from the accessibility bus as a screen reader finds it.

#include "../model/privatenetwork.h"
#include "accessibletree.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testhelpers.h"
#include "testserver.h"
#include "widgetview.h"

#include <QTest>

#include <algorithm>
#include <numeric>

using namespace velmora;
using namespace Qt::StringLiterals;

// Before main, so before any thread exists.
static const QString enteredNetwork = test::enterPrivateNetwork();

namespace {

const GeoInfo standIn{u"198.51.100.23"_s, u"France"_s, u"FR"_s, u"Lyon"_s, u"Orange"_s, {}, {}};
const TestServer::Response standInAnswer{
    .body = R"({"success":true,"ip":"198.51.100.23","country":"France","country_code":"FR"})"};

// A wallpaper for the corners of the card to show.
constexpr QRgb wallpaper = 0x3a6ea5;

// The small view of entry as the desktop shows it without a compositor: opaque, the wallpaper
// in the cut corners; dark, as the session's portal prefers.
QImage drawn(const GeoEntry &entry)
{
    GeoWidgetView view(WidgetFamily::small);
    view.setAttribute(Qt::WA_TranslucentBackground, false);
    view.setEntry(entry);
    view.setColorScheme(PortalColorScheme::Preference::Dark);
    QImage image(view.size(), QImage::Format_RGB32);
    image.fill(wallpaper);
    view.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// The texts a screen reader finds in the small view of entry.
QStringList spoken(const GeoEntry &entry)
{
    const WidgetDrawing drawing = layoutWidget(entry, WidgetFamily::small);
    QStringList texts;
    for (const WidgetText &text : drawing.texts)
        texts.append(text.spoken);
    return drawing.staleSymbol ? texts << staleMarkName() : texts;
}

// Mean difference per channel, 0 to 255.
double difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255;
    // Four bytes a pixel, the fourth always 255: no padding, and nothing to differ in but colour.
    const QImage p = a.convertToFormat(QImage::Format_RGBX8888);
    const QImage q = b.convertToFormat(QImage::Format_RGBX8888);
    const double sum =
        std::transform_reduce(p.constBits(), p.constBits() + p.sizeInBytes(), q.constBits(), 0.0,
                              std::plus<>(), [](int x, int y) { return std::abs(x - y); });
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class TestWidgetDesktop : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<TestServer> m_server;
    QProcess m_widget; // killed with the test

    // One small widget, placed before the start as a drag would have left it.
    void restartWidget()
    {
        test::end(m_widget);
        QVERIFY(test::writeFile(m_session->environment().value(u"XDG_CONFIG_HOME"_s) +
                                    u"/velmora-widget/widgets.json"_s,
                                R"([{"family":"small","screen":"","x":300,"y":200}])"));
        m_widget.setProcessEnvironment(m_session->environment());
        m_widget.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_widget.start(QStringLiteral(VELMORA_WIDGET_BINARY), {});
        QVERIFY(m_widget.waitForStarted());
    }

    QRect window() const { return m_session->windowGeometry({u"--name"_s, u"^Velmora Widget$"_s}); }

    // Whether the screen settles on entry, and shows it closer than other; and a screen reader
    // finds every text of entry.
    bool shows(const GeoEntry &entry, const GeoEntry &other, const QString &name)
    {
        QImage shown;
        QStringList heard;
        const bool matched = DesktopSession::waitUntil([&] {
            shown = m_session->grab().copy(window());
            heard = AccessibleTree::nodes(u"velmora-widget"_s).keys();
            const double off = difference(shown, drawn(entry));
            return off < 2 && off < difference(shown, drawn(other)) &&
                   std::ranges::all_of(spoken(entry),
                                       [&](const QString &text) { return heard.contains(text); });
        });
        m_session->screenshot(name);
        if (!matched)
            qWarning() << name << "differs by" << difference(shown, drawn(entry)) << "and reads"
                       << heard;
        return matched;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        DESKTOP_SESSION_REQUIRE();
        VERIFY_IP(u"link set lo up\n"_s);
        m_certificates =
            std::make_unique<TestCertificates>(QStringList{u"ipwho.is"_s, u"ipapi.co"_s});
        QVERIFY(test::bindOver(m_session->path() + u"/hosts"_s, "/etc/hosts",
                               "127.0.0.1 localhost ipwho.is ipapi.co\n"));
        QVERIFY(test::bindOver(m_certificates->caDirectory(), "/etc/ssl/certs"));
        m_server = std::make_unique<TestServer>(m_certificates->serverConfiguration(),
                                                QHostAddress::LocalHost, 443);
        DESKTOP_SESSION_START(*m_session, WindowManager);
        DESKTOP_SESSION_START(*m_session, Portal);
        DESKTOP_SESSION_START(*m_session, Accessibility);
        QVERIFY(m_session->setWallpaper(wallpaper));
    }

    // Placed with nothing cached and a lookup that never answers: no address, but "Locating…".
    // Quitting then, the lookup still waiting, ends cleanly: a sanitizer build fails the exit
    // on a leak.
    void firstMinuteLocates()
    {
        m_server->respond({.stall = true});
        restartWidget();
        QVERIFY(shows({}, {{}, GeoInfo::sample(), false}, u"widget-first-minute"_s));
        QVERIFY(DesktopSession::waitUntil([&] { return !m_server->requests().isEmpty(); }));
        // The right button's last choice removes the widget; its last widget removed, it quits.
        m_session->click(window().center(), 3);
        QTest::qWait(500);
        m_session->run({u"xdotool"_s, u"key"_s, u"Up"_s, u"Return"_s});
        QVERIFY(m_widget.waitForFinished(10'000));
        QCOMPARE(m_widget.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_widget.exitCode(), 0);
    }

    // The stand-in's country and address on a window kept below, on every workspace and out
    // of task bars and pagers, where it was placed.
    void showsTheStandIn()
    {
        m_server->respond(standInAnswer);
        restartWidget();
        QVERIFY(shows({{}, standIn, false}, {{}, GeoInfo::sample(), false}, u"widget-online"_s));
        QCOMPARE(window().topLeft(), QPoint(300, 200));
        // The card's corners are cut away, even without a compositor.
        QCOMPARE(m_session->grab().pixel(window().topLeft()), wallpaper | 0xff000000);
        const QString id =
            m_session->run({u"xdotool"_s, u"search"_s, u"--name"_s, u"^Velmora Widget$"_s});
        const QString states = m_session->run(
            {u"xprop"_s, u"-id"_s, id.trimmed(), u"_NET_WM_STATE"_s, u"_NET_WM_DESKTOP"_s});
        // On every workspace: openbox says so with the workspace "all" rather than a state.
        for (const QString &state : {u"_NET_WM_STATE_BELOW"_s, u"_NET_WM_STATE_SKIP_TASKBAR"_s,
                                     u"_NET_WM_STATE_SKIP_PAGER"_s, u"= 4294967295"_s})
            QVERIFY2(states.contains(state), qPrintable(states));
    }
};

DESKTOP_SESSION_TEST_MAIN(TestWidgetDesktop)

#include "tst_widgetdesktop.moc"
