#include "speedtester.h"
#include "testhelpers.h"
#include "testserver.h"
#include "throughput.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <atomic>

using namespace std::chrono_literals;
using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

using Response = TestServer::Response;
using Method = QCoro::Task<SpeedOutcome> (SpeedMeasurements::*)();

struct Finished
{
    SpeedOutcome outcome;
    double seconds = 0; // as the awaiting side saw it
};

QCoro::Task<Finished> timed(SpeedTester *tester, Method method)
{
    QElapsedTimer clock;
    clock.start();
    SpeedOutcome outcome = co_await (tester->*method)();
    co_return Finished{std::move(outcome), double(clock.nsecsElapsed()) / 1e9};
}

// A local server answering the requests in turn as listed, the last entry every later one, and a
// tester pointed at it.
struct Rig
{
    Rig(const QList<Response> &responses, std::chrono::milliseconds cap)
        : tester(server.url(), cap)
    {
        server.setHandler([responses, next = std::make_shared<std::atomic<int>>(0)](auto &) {
            return responses.value(std::min<int>((*next)++, int(responses.size()) - 1));
        });
    }

    TestServer server;
    SpeedTester tester;
};

} // namespace

Q_DECLARE_METATYPE(Method)
Q_DECLARE_METATYPE(velmora::TestServer::Response)

class TestSpeedTester : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Qt warns, for one, when an aborted reply is read.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("."))); }

    // How each measurement ends: a figure from low to high, or exactly the error.
    void outcome_data()
    {
        QTest::addColumn<Method>("method");
        QTest::addColumn<QList<Response>>("responses"); // in turn, the last one for every later
        QTest::addColumn<bool>("capped");               // at 800 ms, else the default cap
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<QString>("error"); // empty: a figure
        const auto row = [](const char *tag, Method method, const QList<Response> &responses,
                            bool capped, double low, double high, const QString &error = {}) {
            QTest::newRow(tag) << method << responses << capped << low << high << error;
        };
        const auto download = &SpeedMeasurements::download;
        const auto upload = &SpeedMeasurements::upload;
        const auto latency = &SpeedMeasurements::latency;

        // A whole transfer's figure is its bytes over the time it took: no more than this side
        // waited (a negative low: that many bytes over that time), no less than the server's pace
        // allows (with its first 50 ms burst).
        row("download", download, {{.zeros = 2'000'000, .sendRate = 4'000'000}}, false, -2e6,
            Throughput::mbps(2'000'000, 0.45));
        // Counting the answer too would give half as much again.
        row("upload, large answer not counted", upload,
            {{.zeros = 5'000'000, .bodyReadRate = 20'000'000}}, false,
            -double(SpeedTester::uploadBytes), Throughput::mbps(SpeedTester::uploadBytes, 0.45));

        // At the cap what moved so far is the figure, and the transfer is cancelled. When nothing
        // moved, the service did not answer: no rate of 0.
        row("capped: download still sending", download, {{.endless = true, .sendRate = 1'000'000}},
            true, 6, 10);
        row("capped: download never answered", download, {{.stall = true}}, true, 0, 0,
            u"Timed out: no data from 127.0.0.1 in 0.8 seconds"_s);
        // What the server's side took counts as sent, but never the whole body.
        row("capped: upload read slowly", upload, {{.body = "ok", .bodyReadRate = 2'000'000}}, true,
            8, Throughput::mbps(SpeedTester::uploadBytes, 0.8) * 0.9);

        // The median of the timed requests; the warm-up's comes first. The least, the largest,
        // the mean, and a median that took the warm-up in all lie 75 ms or more outside 200-300.
        const auto held = [](int ms) { return Response{.delay = std::chrono::milliseconds(ms)}; };
        row("latency: 200, 50 and 1000 ms give 200", latency,
            {held(0), held(200), held(50), held(1000)}, false, 200, 300);
        row("latency: a timed request times out", latency, {held(0), held(0), {.stall = true}},
            false, 0, 0, u"Timed out: no data from 127.0.0.1 for 8 seconds"_s);
    }

    void outcome()
    {
        QFETCH(Method, method);
        QFETCH(QList<Response>, responses);
        QFETCH(bool, capped);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(QString, error);

        Rig rig(responses, capped ? 800ms : SpeedTester::defaultCap);
        const auto result = test::awaitWithin(timed(&rig.tester, method), 20'000);
        QVERIFY(result);
        if (low < 0)
            low = Throughput::mbps(qint64(-low), result->seconds);
        const SpeedOutcome &outcome = result->outcome;
        QCOMPARE(outcome ? QString() : outcome.error(), error);
        if (outcome)
            QVERIFY2(*outcome >= low && *outcome <= high, qPrintable(QString::number(*outcome)));
        if (capped) {
            QVERIFY2(result->seconds >= 0.8 && result->seconds < 1.5,
                     qPrintable(QString::number(result->seconds)));
            // The client went away, and did not finish an upload: once the server has read what
            // the socket buffers still held, it sees the connection close.
            QTRY_COMPARE_WITH_TIMEOUT(rig.server.openConnections(), 0, 10'000);
            for (const TestServer::Request &request : rig.server.requests())
                QCOMPARE_LT(request.bodyBytes, SpeedTester::uploadBytes);
            return;
        }
        const QList<TestServer::Request> seen = rig.server.requests();
        if (method == &SpeedMeasurements::latency) { // the median tells how many were timed
            for (const TestServer::Request &request : seen)
                QCOMPARE(request.method + ' ' + request.path, "GET /__down?bytes=0");
            return;
        }
        const bool upload = method == &SpeedMeasurements::upload;
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].method + ' ' + seen[0].path,
                 upload ? "POST /__up" : "GET /__down?bytes=25000000");
        QCOMPARE(seen[0].header("Accept-Encoding"), "identity");
        QCOMPARE(seen[0].bodyBytes, upload ? SpeedTester::uploadBytes : 0);
    }
};

QTEST_GUILESS_MAIN(TestSpeedTester)
#include "tst_speedtester.moc"
