// The shipped program, unchanged, on a private desktop (display, session bus, tray watcher and
// host), whose geolocation and speed-test hosts resolve to a local stand-in: a private network
// and mount namespace bind-mounts a hosts file over /etc/hosts and a directory holding only a
// test authority over /etc/ssl/certs, so certificate checking stays on.

#include "../model/privatenetwork.h"
#include "accessibletree.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

// Waits, serving events, until condition holds or timeout passes.
bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 20s)
{
    for (QDeadlineTimer deadline(timeout); !condition(); QTest::qWait(100))
        if (deadline.hasExpired())
            return false;
    return true;
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

QString run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment, int *exitCode = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(15'000)) {
        process.kill();
        process.waitForFinished();
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
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
    QString m_settingsFile;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = m_session->environment();
        // Lets the test read and press the program's widgets.
        env.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
        return env;
    }

    // A property read with a plain message: QDBusInterface would keep an introspected
    // description of the peer until exit.
    static QVariant property(const QString &service, const QString &path, const QString &interface,
                             const QString &name)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        call << interface << name;
        const QDBusReply<QDBusVariant> reply = QDBusConnection::sessionBus().call(call);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }

    // The bus name and object path of the one registered item.
    static std::pair<QString, QString> item()
    {
        const QString item =
            property(u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s,
                     u"org.kde.StatusNotifierWatcher"_s, u"RegisteredStatusNotifierItems"_s)
                .toStringList()
                .value(0);
        const qsizetype slash = item.indexOf(u'/');
        if (slash < 0)
            return {item, u"/StatusNotifierItem"_s};
        return {item.left(slash), item.mid(slash)};
    }

    static QVariant itemProperty(const QString &name)
    {
        const auto [service, path] = item();
        if (service.isEmpty())
            return {};
        return property(service, path, u"org.kde.StatusNotifierItem"_s, name);
    }

    // The sizes of an a(iiay) list of pixmaps, read off argument.
    static QList<QSize> pixmapSizes(const QDBusArgument &argument)
    {
        QList<QSize> sizes;
        argument.beginArray();
        while (!argument.atEnd()) {
            int width = 0, height = 0;
            QByteArray bytes;
            argument.beginStructure();
            argument >> width >> height >> bytes;
            argument.endStructure();
            sizes.append(QSize(width, height));
        }
        argument.endArray();
        return sizes;
    }

    QString toolTip() const
    {
        const QVariant value = itemProperty(u"ToolTip"_s);
        if (!value.canConvert<QDBusArgument>())
            return {};
        const auto argument = value.value<QDBusArgument>();
        QString iconName, title, text; // and the icon's pixmaps between the first two
        argument.beginStructure();
        argument >> iconName;
        pixmapSizes(argument);
        argument >> title >> text;
        argument.endStructure();
        return title + u'|' + text;
    }

    QList<QSize> iconSizes() const
    {
        const QVariant value = itemProperty(u"IconPixmap"_s);
        if (!value.canConvert<QDBusArgument>())
            return {};
        return pixmapSizes(value.value<QDBusArgument>());
    }

    void activateItem()
    {
        const auto [service, path] = item();
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
        // Where a top panel's item would be clicked.
        call << 1200 << 12;
        QDBusConnection::sessionBus().call(call);
    }

    bool popoverShown() const
    {
        return !run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Velmora$"_s},
                    m_session->environment())
                    .isEmpty();
    }

    bool showsAll(const QStringList &texts) const
    {
        const QStringList names = m_tree->names(u"velmora"_s);
        return std::ranges::all_of(texts,
                                   [&](const QString &text) { return names.contains(text); });
    }

    QJsonObject storedSettings() const
    {
        QFile file(m_settingsFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
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

        DESKTOP_SESSION_START(*m_session, Watcher);
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

        // The popover stays open while the test reads it (a popup that closes on outside
        // clicks is hidden from the accessibility tree).
        const QString configDir = environment().value(u"XDG_CONFIG_HOME"_s) + u"/velmora"_s;
        QVERIFY(QDir().mkpath(configDir));
        m_settingsFile =
            writeFile(configDir + u"/settings.json"_s, R"({"popoverClosesAutomatically": false})");
        QVERIFY(!m_settingsFile.isEmpty());

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

    void trayItemShowsTheStandInsPlace()
    {
        QVERIFY2(waitFor([this] { return toolTip().contains(u"Germany · "_s + address); }),
                 qPrintable(toolTip()));
        const QList<QSize> sizes = iconSizes();
        QCOMPARE(sizes.size(), 2);
        QCOMPARE(sizes.at(0).height(), 22);
        QCOMPARE(sizes.at(1).height(), 44);
        QVERIFY(sizes.at(0).width() > 2 * sizes.at(0).height());
        QVERIFY(m_server->requests().size() >= 1);
        m_session->screenshot(u"desktop-tray"_s);
    }

    void clickOpensThePopover()
    {
        activateItem();
        QVERIFY(waitFor([this] { return popoverShown(); }));
        QVERIFY2(waitFor([this] {
                     return showsAll({u"Germany"_s, u"Berlin"_s, address,
                                      u"Deutsche Telekom AG · AS3320"_s, u"Ethernet"_s,
                                      u"Europe/Berlin"_s, u"192.0.2.53\n192.0.2.54"_s});
                 }),
                 qPrintable(m_tree->names(u"velmora"_s).join(u" | "_s)));
        m_session->screenshot(u"desktop-popover-light"_s);
    }

    void copyPutsTheAddressOnTheClipboard()
    {
        QVERIFY(m_tree->press(u"velmora"_s, address));
        QVERIFY(waitFor([this] {
            return run(u"xclip"_s, {u"-o"_s, u"-selection"_s, u"clipboard"_s},
                       m_session->environment()) == address;
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
        activateItem(); // closes it
        QVERIFY(waitFor([this] { return !popoverShown(); }));
        // The second round from a terminal without a display: the hand-over needs only D-Bus.
        for (int round = 0; round < 2; ++round) {
            QProcessEnvironment env = environment();
            if (round == 1)
                env.remove(u"DISPLAY"_s);
            int exitCode = -1;
            run(QStringLiteral(VELMORA_BINARY), {u"velmora://open"_s}, env, &exitCode);
            QCOMPARE(exitCode, 0);
            QVERIFY(waitFor([this] { return popoverShown(); }));
            activateItem();
            QVERIFY(waitFor([this] { return !popoverShown(); }));
        }
        activateItem();
        QCOMPARE(m_velmora.state(), QProcess::Running);
    }

    void settingsChangeIsStored()
    {
        QVERIFY(m_tree->press(u"velmora"_s, u"Settings…"_s));
        QVERIFY(waitFor([this] { return showsAll({u"Launch at Login"_s, u"Dark"_s}); }));
        // The title as the window manager gets it, exactly.
        // The title as the window manager shows it (_NET_WM_NAME), exactly.
        const QString window = run(u"xdotool"_s, {u"search"_s, u"--name"_s, u"^Velmora Settings"_s},
                                   m_session->environment());
        QCOMPARE(run(u"xprop"_s, {u"-id"_s, window.section(u'\n', 0, 0), u"_NET_WM_NAME"_s},
                     m_session->environment()),
                 u"_NET_WM_NAME(UTF8_STRING) = \"Velmora Settings\""_s);
        m_session->screenshot(u"desktop-settings"_s);
        QVERIFY(m_tree->press(u"velmora"_s, u"Dark"_s));
        QVERIFY(waitFor([this] { return storedSettings().value(u"theme"_s) == u"dark"_s; }));
        QVERIFY(m_tree->press(u"velmora"_s, u"MB/s"_s));
        QVERIFY(waitFor([this] { return storedSettings().value(u"speedUnit"_s) == u"bytes"_s; }));
        int exitCode = -1;
        run(QStringLiteral(VELMORA_BINARY), {}, environment(), &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY(waitFor([this] { return popoverShown(); }));
        QVERIFY(
            waitFor([this] { return m_tree->names(u"velmora"_s).filter(u" MB/s"_s).size() >= 2; }));
        m_session->screenshot(u"desktop-popover-dark"_s);
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
