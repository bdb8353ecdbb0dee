// The shipped program on weston's headless back end, with and without XWayland, on a private
// session bus with a tray watcher; the test serves the desktop's notifications itself. Its
// lookups reach a local stand-in as in the desktop test (private namespaces, needs root).

#include "../model/privatenetwork.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QDBusArgument>
#include <QScopeGuard>

using namespace velmora;
using namespace Qt::StringLiterals;

// Before main, so before any thread exists.
static const QString enteredNetwork = test::enterPrivateNetwork();

class TestWaylandSession : public QObject
{
    Q_OBJECT
    // The desktop's notification service, as far as Velmora uses it (public slots only).
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

    DesktopSession *m_session = DesktopSession::current();
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<TestServer> m_server;
    QProcessEnvironment m_env;
    QStringList m_notices; // summary and body of each notification
    int m_imageInk = -1;   // the last image's bytes that are not 0; -1 if it is malformed

    // The compositor's screen's near-white pixels (the popover is light on weston's grey), or
    // -1 before weston can show it.
    static constexpr int popoverPixels = 200 * 200;
    int lightPixels() const
    {
        m_session->run({u"weston-screenshooter"_s}, {}, m_env);
        QImage image;
        for (const QString &file : QDir().entryList({u"wayland-screenshot-*.png"_s}))
            image.load(file), QFile::remove(file);
        int light = image.isNull() ? -1 : 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                light += qGray(image.pixel(x, y)) > 224;
        return light;
    }

public Q_SLOTS:
    QStringList GetCapabilities() { return {u"body"_s, u"body-markup"_s, u"actions"_s}; }
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        m_notices << summary << body;
        int width, height, stride, bits, channels;
        bool alpha;
        QByteArray data;
        const auto image = hints.value(u"image-data"_s).value<QDBusArgument>();
        image.beginStructure();
        image >> width >> height >> stride >> alpha >> bits >> channels >> data;
        image.endStructure();
        const bool whole = data.size() == stride * height && stride >= 4 * width && channels == 4;
        m_imageInk = whole ? int(data.size() - data.count('\0')) : -1;
        return 7;
    }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &action);

private Q_SLOTS:
    void initTestCase()
    {
        if (!enteredNetwork.isEmpty())
            QSKIP(qPrintable(enteredNetwork));
        DESKTOP_SESSION_REQUIRE();
        DESKTOP_SESSION_START(*m_session, Watcher);
        QVERIFY(QDir::setCurrent(m_session->path()));
        VERIFY_IP(
            u"link add eth0 type veth peer name eth1\nlink set eth0 up\nlink set eth1 up\n"
            "link set lo up\naddr add 10.9.0.1/24 dev eth0\nroute add default via 10.9.0.2\n"_s);
        m_certificates =
            std::make_unique<TestCertificates>(QStringList{u"ipwho.is"_s, u"ipapi.co"_s});
        QVERIFY(
            test::bindOver(u"hosts"_s, "/etc/hosts", "127.0.0.1 localhost ipwho.is ipapi.co\n"));
        QVERIFY(test::bindOver(m_certificates->caDirectory(), "/etc/ssl/certs"));
        m_server = std::make_unique<TestServer>(m_certificates->serverConfiguration(),
                                                QHostAddress::LocalHost, 443);
        QVERIFY(QDBusConnection::sessionBus().registerObject(
            u"/org/freedesktop/Notifications"_s, this, QDBusConnection::ExportAllContents));
        QVERIFY(QDBusConnection::sessionBus().registerService(u"org.freedesktop.Notifications"_s));
    }

    // As a Wayland client, where no XWayland runs (beside it, X windows under XWayland are the
    // desktop test's sway row): the item registers, and an address change tells of itself as
    // the desktop's notification, whose click opens the popover.
    void popoverAndNotice()
    {
        m_env = m_session->environment(); // empty is unset, to Velmora and to Qt
        m_env.insert(u"QT_QPA_PLATFORM"_s, QString());
        m_env.insert(u"DISPLAY"_s, QString());
        m_env.insert(u"WAYLAND_DISPLAY"_s, u"wayland-1"_s);
        QProcess weston, velmora;
        const auto quit = qScopeGuard([&] {
            velmora.terminate(), velmora.waitForFinished(), weston.terminate(),
                weston.waitForFinished();
        });
        weston.setProcessEnvironment(m_env); // --debug lets weston-screenshooter read the screen
        weston.start(u"weston"_s, u"--backend=headless-backend.so --use-pixman --debug "
                                  "--socket=wayland-1 --log=weston.log"_s.split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(lightPixels() >= 0, 20000);

        m_server->respond({.body = R"({"success":true,"ip":"203.0.113.42","country_code":"BA",
                                       "country":"Bosnia & Herzegovina"})"});
        velmora.setProcessEnvironment(m_env);
        velmora.start(QStringLiteral(VELMORA_BINARY), {});
        const QString pid = u"-%1-"_s.arg(velmora.processId());
        QTRY_COMPARE_WITH_TIMEOUT(m_session->registeredItems().filter(pid).size(), 1, 20000);
        QTRY_VERIFY(!m_server->requests().isEmpty());

        m_notices.clear();
        m_server->respond({.body = R"({"success":true,"ip":"198.51.100.7","country_code":"NL",
                                       "country":"Netherlands"})"});
        VERIFY_IP(u"addr add 10.9.0.11/24 dev eth0\n"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!m_notices.isEmpty(), 10000);
        QCOMPARE(m_notices.join(u'|'), u"Now in Netherlands|203.0.113.42 → 198.51.100.7\n"
                                       "was 🇧🇦 Bosnia &amp; Herzegovina"_s);
        QCOMPARE_GT(m_imageInk, 64 * 64);
        QCOMPARE_LT(lightPixels(), popoverPixels);
        Q_EMIT ActionInvoked(7, u"default"_s);
        QTRY_VERIFY_WITH_TIMEOUT(lightPixels() > popoverPixels, 10000);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestWaylandSession)

#include "tst_waylandsession.moc"
