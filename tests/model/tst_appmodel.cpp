#include "desktopsession.h"
#include "fakeservices.h"
#include "sleepwatcher_linux.h"
#include "speedtester.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QDBusMessage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// One lookup of a sequence: the address it finds ("" = every provider fails) and whether the
// path is satisfied when it ends.
struct Step
{
    QString address;
    bool online = true;
};

// Threads with no name of their own, as the speed tester's has none; the main thread aside.
int unnamedThreads()
{
    const QByteArray program = test::readFile(u"/proc/self/comm"_s);
    int count = -1;
    for (const QString &task :
         QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        count += test::readFile(u"/proc/self/task/"_s + task + u"/comm"_s) == program;
    return count;
}

} // namespace

Q_DECLARE_METATYPE(Step)

class TestAppModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refreshSequence_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("changes"); // "old>new" per onIPChange call
        QTest::addColumn<QString>("finalMessage");
        QTest::addColumn<QString>("lastIp");

        const QString a = u"203.0.113.1"_s, b = u"198.51.100.2"_s;
        QTest::newRow("failure while offline")
            << QList<Step>{{a}, {{}, false}} << QStringList{} << u"No network connection"_s << a;
        QTest::newRow("B twice, A, B again")
            << QList<Step>{{b}, {b}, {a}, {b}} << QStringList{b + u'>' + a, a + u'>' + b}
            << QString() << b;
    }

    void refreshSequence()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(QStringList, changes);
        QFETCH(QString, finalMessage);
        QFETCH(QString, lastIp);

        fakes::Rig rig;
        for (const Step &step : steps)
            rig.lookups->addresses.push_back(step.address);
        AppModel model(rig.services(fakes::quickTimings()));
        QTRY_VERIFY(model.isRefreshing()); // looking up as soon as the event loop runs
        QStringList reported;
        connect(
            &model, &AppModel::publicAddressChanged, this,
            [&](const GeoInfo &old, const GeoInfo &now) { reported << old.ip + u'>' + now.ip; });

        QVERIFY(fakes::waitUntilIdle(model)); // the first step is the start-up lookup
        for (qsizetype i = 1; i < steps.size(); ++i) {
            rig.monitor->report({.satisfied = steps[i].online});
            model.refresh();
            QVERIFY(fakes::waitUntilIdle(model));
        }
        QCOMPARE(reported, changes);
        QCOMPARE(model.geoState().message(), finalMessage);
        QCOMPARE(model.lastGeo() ? model.lastGeo()->ip : QString(), lastIp);
    }

    // Refreshes asked for during a lookup make one more after it, not one each nor one alongside;
    // the address is looked up again at every interval.
    void coalescesAndRepeatsRefreshes()
    {
        fakes::Rig rig;
        rig.lookups->delay = 200ms;
        AppModel model(rig.services({.refreshInterval = 1500ms}));
        QTRY_VERIFY(model.isRefreshing());
        model.refresh();
        model.refresh();
        QVERIFY(fakes::waitUntilIdle(model));
        QTest::qWait(500);
        QCOMPARE(rig.lookups->lookups, 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.lookups->lookups, 4, 4000); // two intervals on
    }

    // A run that fails throughout keeps the last result; one asked for during a run returns at
    // once.
    void speedTestFailures()
    {
        fakes::Rig rig;
        rig.speed->m_outcomes = {1.0, std::unexpected(u"x"_s), 3.0}; // then failures only
        AppModel model(rig.services(fakes::quickTimings()));
        QCoro::waitFor(model.runSpeedTest());
        QCoro::Task<> run = model.runSpeedTest();
        QVERIFY(model.runSpeedTest().isReady());
        QCoro::waitFor(std::move(run));
        QCOMPARE(model.failedSpeedSteps(),
                 (QList{SpeedPhase::latency, SpeedPhase::download, SpeedPhase::upload}));
        const SpeedResult &kept = *model.speedResult();
        QCOMPARE((QList{kept.latencyMs, kept.downloadMbps, kept.uploadMbps}),
                 (QList<std::optional<double>>{1.0, std::nullopt, 3.0}));
    }

    // Rates divide by the time passed and leave out loopback; a wake that logind announces gives
    // a new baseline and looks up once. The arithmetic is the rules' (tst_modelrules).
    void trafficRatesAndWaking()
    {
        DesktopSession session; // its bus stands in for the system bus
        DESKTOP_SESSION_START(session, Bus);
        QDBusConnection logind = QDBusConnection::connectToBus(session.busAddress(), u"logind"_s);
        QVERIFY(logind.registerService(u"org.freedesktop.login1"_s));
        const auto prepareForSleep = [&](bool going) {
            QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
                                                             u"org.freedesktop.login1.Manager"_s,
                                                             u"PrepareForSleep"_s);
            QVERIFY(logind.send(signal << going));
        };

        fakes::Rig rig;
        rig.interfaces->m_counters = {{u"eth0"_s, {10000, 0}}, {u"lo"_s, {0, 0}}};
        AppModel::Services services = rig.services(
            {.refreshInterval = 3'600s, .trafficInterval = 500ms, .pathSettle = 300ms});
        services.sleepWatcher = std::make_unique<LogindSleepWatcher>(LogindSleepWatcher::Options{
            .bus = QDBusConnection::connectToBus(session.busAddress(), u"watcher"_s)});
        AppModel model(std::move(services));
        QVERIFY(fakes::waitUntilIdle(model));
        prepareForSleep(true); // going to sleep is no reason to look up
        QList<double> rates;
        connect(&model, &AppModel::downloadRateChanged, this,
                [&] { rates << model.downloadRate(); });
        model.setTrafficMonitoring(true);
        // Nothing ticks while the test does not yield, so the clock and the counters move
        // together, and each wait for a rate ends right after a sample.
        rig.clockSeconds += 2;
        rig.interfaces->m_counters = {{u"eth0"_s, {12000, 1400}}, {u"lo"_s, {9000, 9000}}};
        QTRY_COMPARE(rates, QList<double>{1000});
        QCOMPARE(model.uploadRate(), 700.0);

        // An hour asleep, and the counters started again from zero.
        rig.clockSeconds += 3600;
        rig.interfaces->m_counters = {{u"eth0"_s, {500, 0}}};
        prepareForSleep(false);
        QTRY_COMPARE(rates, (QList<double>{1000, 0}));
        rig.clockSeconds += 1;
        rig.interfaces->m_counters = {{u"eth0"_s, {1000, 0}}};
        QTRY_COMPARE(rig.lookups->lookups, 2);
        QTRY_COMPARE(rates, (QList<double>{1000, 0, 500}));
        QTest::qWait(500);
        QCOMPARE(rig.lookups->lookups, 2);
    }

    // Quitting at any point of a run, while the lookup waits on a provider that never answers:
    // the run and the lookup are abandoned, the other provider is not asked, every connection
    // closes, and the tester's thread is gone with the model.
    // Timers and a pending refresh left behind must not touch the model either.
    void quitDuringLookupAndSpeedTest()
    {
        QTest::failOnWarning(QRegularExpression(u"."_s)); // Qt's, of a reply aborted twice
        TestServer server;
        server.setHandler([](const TestServer::Request &request) -> TestServer::Response {
            if (request.method == "POST")
                return {.body = "ok", .bodyReadRate = 1'000'000};
            if (request.path.endsWith("bytes=0"))
                return {};
            if (request.path.startsWith("/__"))
                return {.endless = true, .sendRate = 1'000'000};
            return {.stall = true};
        });
        for (int round = 0; round < 200; ++round) {
            fakes::Rig rig;
            AppModel::Services services = rig.services(fakes::quickTimings());
            services.client = GeoClient([&server](QUrl url, const QObject *owner) {
                return GeoClient::liveFetch(server.url(url.path().toUtf8()), owner);
            });
            services.speedTester = std::make_shared<SpeedTester>(server.url(), 20ms);
            auto model = std::make_unique<AppModel>(std::move(services));
            model->setTrafficMonitoring(true);
            rig.monitor->report({.satisfied = true});
            model->runSpeedTest();
            QTest::qWait(round % 50);      // at latency, download, upload or after
            QVERIFY(unnamedThreads() > 0); // the tester's at least
            model.reset();
            // The thread has finished, and the system clears it away in a moment. No event is
            // handled meanwhile: nothing may be left to an event loop that may never run again.
            for (int wait = 0; wait < 100 && unnamedThreads() > 0; ++wait)
                QThread::msleep(10);
            QCOMPARE(unnamedThreads(), 0);
        }
        QTRY_COMPARE(server.openConnections(), 0);
        const QUrl fallback = GeoClient::fallbackURL();
        for (const TestServer::Request &request : server.requests())
            QVERIFY2(request.path != fallback.path().toUtf8(), request.path);
    }
};

QTEST_GUILESS_MAIN(TestAppModel)
#include "tst_appmodel.moc"
