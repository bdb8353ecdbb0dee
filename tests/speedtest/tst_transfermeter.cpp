#include "testserver.h"
#include "transfermeter.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace velmora;

namespace {

constexpr qint64 bodyBytes = 16 * 1024;

struct Resolutions
{
    std::atomic<int> count = 0;
    std::optional<TransferOutcome> first;
};

// Counts how often the future resolves, keeping the first outcome.
void watch(QFuture<TransferOutcome> future, const std::shared_ptr<Resolutions> &resolutions)
{
    future.then([resolutions](const TransferOutcome &outcome) {
        if (resolutions->count++ == 0)
            resolutions->first = outcome;
    });
}

} // namespace

class TestTransferMeter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("."))); }

    // The answer arrives around the time the cap fires; whichever wins, the measurement
    // resolves once, with figures that belong to the winner.
    void completionRacesCap()
    {
        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond("/", {.body = QByteArray(bodyBytes, 'x'), .delay = 10ms});
        QNetworkAccessManager access;

        int capWon = 0;
        for (int round = 0; round < 150; ++round) {
            const auto cap = std::chrono::milliseconds(6 + round % 10);
            TransferMeter meter;
            const auto resolutions = std::make_shared<Resolutions>();
            const QFuture<TransferOutcome> future =
                meter.run([&] { return access.get(QNetworkRequest(server.url())); }, cap);
            watch(future, resolutions);
            QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 5000));
            QTest::qWait(20); // the loser's turn
            QCOMPARE(resolutions->count.load(), 1);
            QCOMPARE(future.resultCount(), 1);
            // The cap with nothing counted is a time-out.
            const TransferOutcome &outcome = *resolutions->first;
            if (!outcome || outcome->bytes < bodyBytes)
                ++capWon;
            if (!outcome) {
                QVERIFY2(outcome.error().startsWith(u"Timed out"), qPrintable(outcome.error()));
                continue;
            }
            QVERIFY(outcome->bytes > 0 && outcome->bytes <= bodyBytes);
            QVERIFY(outcome->seconds > 0 && outcome->seconds < 1);
            if (outcome->bytes < bodyBytes)
                QVERIFY2(outcome->seconds >= double(cap.count()) / 1000,
                         qPrintable(QString::number(outcome->seconds)));
        }
        qInfo("the cap won %d of 150 rounds", capWon);
    }

    // finish() from several threads at once, while the transfer itself ends here.
    void finishFromManyThreads()
    {
        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond("/", {.stall = true});
        QNetworkAccessManager access;

        for (int round = 0; round < 100; ++round) {
            TransferMeter meter;
            const auto resolutions = std::make_shared<Resolutions>();
            watch(meter.run([&] { return access.get(QNetworkRequest(server.url())); }, 10s),
                  resolutions);
            std::latch go(5);
            std::vector<std::jthread> threads;
            for (int i = 0; i < 4; ++i)
                threads.emplace_back([&] {
                    go.arrive_and_wait();
                    meter.finish(QStringLiteral("from a thread"));
                });
            go.arrive_and_wait();
            meter.abort(QStringLiteral("from here"));
            threads.clear();
            QCOMPARE(resolutions->count.load(), 1);
            QVERIFY(!*resolutions->first); // nothing was counted, so the error stands
        }
    }
};

QTEST_GUILESS_MAIN(TestTransferMeter)
#include "tst_transfermeter.moc"
