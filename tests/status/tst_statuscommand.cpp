#include "desktopsession.h"
#include "statusservice.h"
#include "testhelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

const QString service = u"app.velmora.Velmora"_s;
const QString path = u"/app/velmora/Velmora"_s;

// The tray program's side of the bus, as it serves it: the name, the object, the status.
struct Instance
{
    Instance()
        : status(&object, path, [this] { return record; })
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.registerObject(path, &object, QDBusConnection::ExportAdaptors);
        bus.interface()->registerService(service);
    }
    ~Instance()
    {
        QDBusConnection::sessionBus().interface()->unregisterService(service);
        QDBusConnection::sessionBus().unregisterObject(path);
    }

    StatusRecord record{.downloadRate = 237'500,
                        .uploadRate = 57'000,
                        .online = true,
                        .publicIP = u"203.0.113.7"_s,
                        .countryCode = u"DE"_s,
                        .city = u"Berlin"_s,
                        .vpnLikely = true,
                        .geoState = u"loaded"_s};
    QObject object;
    StatusService status;
};

} // namespace

class TestStatusCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DESKTOP_SESSION_REQUIRE(); }

    // `velmora status`, and the recipes of examples/status for consumers that need no screen,
    // run through bash as written, from the recipes' folder with the built velmora first on
    // the PATH, beside the real service on a private bus. (The bars' recipes run in the bars
    // in tst_desktop, which start them before the instance.)
    void commands_data()
    {
        QTest::addColumn<QString>("command");
        // "none", "up", or "quits": gone after the first line, back after the second.
        QTest::addColumn<QString>("instance");
        QTest::addColumn<int>("exitCode");   // -1 where it runs on
        QTest::addColumn<QString>("output"); // a pattern for what it prints, errors included
        const auto row = [](const char *tag, const QString &command, const char *instance,
                            int exitCode, const QString &output) {
            QTest::newRow(tag) << command << QString::fromLatin1(instance) << exitCode << output;
        };
        row("no instance", u"velmora status"_s, "none", 3,
            u"^velmora status: Velmora is not running"_s);
        row("template", u"velmora status --format '{{{down_bytes}}} {up_bytes} {vpn}{city}'"_s,
            "up", 0, u"^\\{237500\\} 57000 VPNBerlin\n$"_s);
        row("json", u"velmora status --json"_s, "up", 0,
            u"^\\{.*\"PublicIP\":\"203.0.113.7\".*\\}\n$"_s);
        row("unknown field", u"velmora status --format '{down} {nope}'"_s, "up", 2,
            u"unknown field \"\\{nope\\}\""_s);
        // A reader that takes three lines and goes, as a pipe's; the instance quits after the
        // first and comes back: the gap is an offline line, not the last rates.
        row("waybar, instance quits", u"velmora status --follow --waybar | stdbuf -oL head -n 3"_s,
            "quits", 0,
            u"^\\{\"class\":\"vpn\".*\n\\{\"class\":\"offline\",\"text\":\"\",.*\n\\{\"class\":\"vpn\""_s);
        row("gdbus recipe", u"bash gdbus.sh"_s, "up", 0, u"^\\(<'203.0.113.7'>,\\)\n$"_s);
        row("i3blocks recipe", u"i3blocks -c i3blocks.conf"_s, "up", -1,
            u"\"full_text\":\"↓ 1.9 Mb/s ↑ 456 Kb/s · 🇩🇪 203.0.113.7\""_s);
        // conky's own settings ahead of the recipe: its text on standard output.
        row("conky recipe",
            u"conky -q -c <(echo 'conky.config = { out_to_console = true, out_to_x = false, "
            "update_interval = 1 }'; cat conky.conf)"_s,
            "up", -1, u"\n↓ 1.9 Mb/s ↑ 456 Kb/s · 🇩🇪 203.0.113.7\n"_s);
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(QString, instance);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        std::optional<Instance> running;
        if (instance != u"none")
            running.emplace();
        QProcess shell;
        shell.setWorkingDirectory(QStringLiteral(VELMORA_SOURCE_DIR "/examples/status"));
        shell.setProcessChannelMode(QProcess::MergedChannels);
        // The built velmora ($0) first on the PATH; exec, so that what runs on is the consumer
        // itself and ends with the test.
        shell.start(u"bash"_s,
                    {u"-o"_s, u"pipefail"_s, u"-c"_s, u"PATH=${0%/*}:$PATH; exec "_s + command,
                     QStringLiteral(VELMORA_BINARY)});
        QByteArray printed;
        const auto lines = [&] { return (printed += shell.readAll()).count('\n'); };
        if (instance == u"quits") {
            QTRY_COMPARE(lines(), 1);
            running.reset();
            QTRY_COMPARE(lines(), 2);
            running.emplace();
        }
        const QRegularExpression expected(output);
        const auto shows = [&] {
            lines();
            return expected.match(QString::fromUtf8(printed)).hasMatch();
        };
        QTRY_VERIFY(shell.state() == QProcess::NotRunning || (exitCode < 0 && shows()));
        QVERIFY2(shows(), printed.constData());
        if (exitCode < 0) {
            test::end(shell);
            return;
        }
        QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
        QCOMPARE(shell.exitCode(), exitCode);
    }

    // Refresh asks the tray for a lookup; FollowRates makes the caller a follower for as long as
    // it stays on the bus.
    void busInterface()
    {
        Instance running;
        // Asked without waiting, from a connection of its own: the service answers on this
        // thread.
        const auto call = [](const QString &method) {
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"follower"_s)
                .asyncCall(QDBusMessage::createMethodCall(service, path,
                                                          StatusService::interfaceName(), method));
        };
        QSignalSpy refresh(&running.status, &StatusService::refreshRequested);
        call(u"Refresh"_s);
        QTRY_COMPARE(refresh.count(), 1);
        call(u"FollowRates"_s);
        QTRY_VERIFY(running.status.hasFollowers());
        QDBusConnection::disconnectFromBus(u"follower"_s);
        QTRY_VERIFY(!running.status.hasFollowers());
    }
};

DESKTOP_SESSION_TEST_MAIN(TestStatusCommand)

#include "tst_statuscommand.moc"
