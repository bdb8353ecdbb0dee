#include "desktopsession.h"
#include "statusservice.h"
#include "testhelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
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

// Waits for process to end while the test's side of the bus keeps answering it.
bool finished(QProcess &process, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

// Runs gdbus on the session bus; what it printed.
QString gdbus(const QStringList &arguments)
{
    QProcess process;
    process.start(u"gdbus"_s, arguments + QStringList{u"--session"_s, u"--dest"_s, service,
                                                      u"--object-path"_s, path});
    return finished(process) ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

} // namespace

class TestStatusCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DESKTOP_SESSION_REQUIRE(); }

    void commandRules_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("instance"); // "none", "up", or "late" (after the start)
        QTest::addColumn<QString>("reads");    // lines a reader takes through a pipe; "" none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // a pattern for standard output, or error
        const auto row = [](const char *tag, const QStringList &arguments, const char *instance,
                            const char *reads, int exitCode, const QString &output) {
            QTest::newRow(tag) << arguments << QString::fromLatin1(instance)
                               << QString::fromLatin1(reads) << exitCode << output;
        };
        row("no instance", {}, "none", "", 3, u"^velmora status: Velmora is not running"_s);
        row("line", {}, "up", "", 0, u"^↓ 1.9 Mb/s ↑ 456 Kb/s · 🇩🇪 203.0.113.7\n$"_s);
        row("template", {u"--format"_s, u"{{{down_bytes}}} {up_bytes} {vpn}{city}"_s}, "up", "", 0,
            u"^\\{237500\\} 57000 VPNBerlin\n$"_s);
        row("json", {u"--json"_s}, "up", "", 0, u"^\\{.*\"PublicIP\":\"203.0.113.7\".*\\}\n$"_s);
        row("unknown field", {u"--format"_s, u"{down} {nope}"_s}, "up", "", 2,
            u"unknown field \"\\{nope\\}\""_s);
        // A reader that takes so many lines and goes, as a pipe's; the instance quits after
        // the first and comes back: the gap is an empty line, not the last rates.
        row("late instance", {u"--follow"_s}, "late", "1", 0, u"^↓ 1.9 Mb/s[^\n]*\n$"_s);
        row("instance quits", {u"--follow"_s, u"--format"_s, u"{ip}"_s}, "up", "3", 0,
            u"^203.0.113.7\n\n203.0.113.7\n$"_s);
        row("waybar, instance quits", {u"--follow"_s, u"--waybar"_s}, "up", "3", 0,
            u"^\\{\"class\":\"vpn\".*\n\\{\"class\":\"offline\",\"text\":\"\",.*\n\\{\"class\":\"vpn\""_s);
    }

    // What `velmora status` prints and how it ends, against the real service on a private bus.
    void commandRules()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, instance);
        QFETCH(QString, reads);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        std::optional<Instance> running;
        if (instance == u"up")
            running.emplace();
        // Through bash, so that a reader can stand at the end of a pipe.
        const QString pipe = reads.isEmpty() ? QString() : u" | stdbuf -oL head -n "_s + reads;
        QProcess status;
        status.start(u"bash"_s,
                     QStringList{u"-c"_s, u"set -o pipefail; \"$0\" status \"$@\""_s + pipe,
                                 QStringLiteral(VELMORA_BINARY)} +
                         arguments);
        QVERIFY(status.waitForStarted());
        if (instance == u"late") {
            QVERIFY(!finished(status, 700)); // it waits
            running.emplace();
        }
        QByteArray printed;
        const auto lines = [&] { return (printed += status.readAllStandardOutput()).count('\n'); };
        if (reads == u"3") {
            QTRY_COMPARE(lines(), 1);
            running.reset();
            QTRY_COMPARE(lines(), 2);
            running.emplace();
        }
        QVERIFY(finished(status));
        QCOMPARE(status.exitStatus(), QProcess::NormalExit);
        QCOMPARE(status.exitCode(), exitCode);
        lines();
        const QString said =
            QString::fromUtf8(exitCode == 0 ? printed : status.readAllStandardError());
        QVERIFY2(QRegularExpression(output).match(said).hasMatch(), qPrintable(said));
    }

    // The interface as a desktop's own tools see it, and what it costs: the rates' changes
    // only to a follower, one PropertiesChanged a second at most.
    void busInterface()
    {
        Instance running;
        const QString described = gdbus({u"introspect"_s});
        for (const QString &member :
             {u"interface app.velmora.Velmora.Status"_s, u"readonly d DownloadRate = 237500.0;"_s,
              u"readonly s PublicIP = '203.0.113.7';"_s, u"Refresh();"_s, u"FollowRates();"_s})
            QVERIFY2(described.contains(member), qPrintable(described));
        QSignalSpy refresh(&running.status, &StatusService::refreshRequested);
        gdbus({u"call"_s, u"--method"_s, u"app.velmora.Velmora.Status.Refresh"_s});
        QTRY_COMPARE(refresh.count(), 1);

        QProcess monitor;
        monitor.start(u"gdbus"_s, {u"monitor"_s, u"--session"_s, u"--dest"_s, service});
        QVERIFY(monitor.waitForReadyRead(5000)); // it says when it listens
        const auto moveRates = [&](int times) {
            monitor.readAllStandardOutput();
            for (int i = 0; i < times; ++i) { // ten times a second
                running.record.downloadRate += 100;
                running.status.ratesChanged();
                QTest::qWait(100);
            }
            QCoreApplication::processEvents();
            return QString::fromUtf8(monitor.readAllStandardOutput()).count(u"PropertiesChanged"_s);
        };
        QCOMPARE(moveRates(20), 0); // nobody follows
        // Asked without waiting: the service answers on this thread.
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"follower"_s)
            .asyncCall(QDBusMessage::createMethodCall(service, path, StatusService::interfaceName(),
                                                      u"FollowRates"_s));
        QTRY_VERIFY(running.status.hasFollowers());
        const int moving = moveRates(30);
        QVERIFY2(moving >= 2 && moving <= 4, qPrintable(QString::number(moving)));
        // A follower that leaves the bus follows no more.
        QDBusConnection::disconnectFromBus(u"follower"_s);
        QTest::qWait(300);
        QCOMPARE(moveRates(20), 0);
    }

    // The recipes for consumers that need no screen, run as written with `velmora` on the
    // path (the bars' recipes are run in theirs by the consumers' test).
    void recipesRunAsWritten_data()
    {
        QTest::addColumn<QString>("recipe");
        QTest::addColumn<QStringList>("command"); // the recipe's file for %1
        QTest::addColumn<QString>("expected");    // what standard output comes to show
        QTest::newRow("gdbus") << u"gdbus.sh"_s << QStringList{u"bash"_s, u"%1"_s}
                               << u"^\\(<'203.0.113.7'>,\\)"_s;
        QTest::newRow("i3blocks") << u"i3blocks.conf"_s
                                  << QStringList{u"i3blocks"_s, u"-c"_s, u"%1"_s}
                                  << u"\"full_text\":\"↓ 1.9 Mb/s ↑ 456 Kb/s"_s;
        // conky's own settings ahead of the recipe: its text on standard output.
        QTest::newRow("conky") << u"conky.conf"_s
                               << QStringList{u"conky"_s, u"-q"_s, u"-c"_s, u"%1"_s}
                               << u"\n↓ 1.9 Mb/s ↑ 456 Kb/s"_s;
    }

    void recipesRunAsWritten()
    {
        QFETCH(QString, recipe);
        QFETCH(QStringList, command);
        QFETCH(QString, expected);
        const QDir recipes(QStringLiteral(VELMORA_SOURCE_DIR "/examples/status"));
        QByteArray text = test::readFile(recipes.filePath(recipe));
        if (recipe == u"conky.conf")
            text.prepend("conky.config = { out_to_console = true, out_to_x = false,"
                         " update_interval = 1 }\n");
        QTemporaryDir dir;
        QVERIFY(test::writeFile(dir.filePath(recipe), text) &&
                QFile::link(QStringLiteral(VELMORA_BINARY), dir.filePath(u"velmora"_s)));
        Instance running;
        QProcess consumer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PATH"_s, dir.path() + u':' + env.value(u"PATH"_s));
        consumer.setProcessEnvironment(env);
        command.replaceInStrings(u"%1"_s, dir.filePath(recipe));
        consumer.start(command.takeFirst(), command);
        QString shown;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         shown += QString::fromUtf8(consumer.readAllStandardOutput());
                         return QRegularExpression(expected).match(shown).hasMatch();
                     },
                     5000),
                 qPrintable(shown + QString::fromUtf8(consumer.readAllStandardError())));
        consumer.kill();
        consumer.waitForFinished();
    }
};

DESKTOP_SESSION_TEST_MAIN(TestStatusCommand)

#include "tst_statuscommand.moc"
