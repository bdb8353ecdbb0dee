#include "geoprovider.h"
#include "testhelpers.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const GeoInfo cachedRecord{u"192.0.2.9"_s,  u"Japan"_s,
                           u"JP"_s,         u"Osaka"_s,
                           u"KDDI"_s,       u"AS2516"_s,
                           u"Asia/Tokyo"_s, Timestamp::fromSecondsSinceReference(786000000.123456)};
const QByteArray cachedBytes = QJsonDocument(cachedRecord.toJson()).toJson();
const QByteArray unreadable = "{\"ip\":\"192.0.2.9\"";
const QDateTime requestStart = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);

} // namespace

class TestWidgetProvider : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int tests = 0;
    std::shared_ptr<DirectoryStore> store;
    QDateTime clock;
    int fetches = 0;

    // Each request takes 40 s of the clock and answers with the next of ips after the next
    // of delaysMs (the last one again when they run out); an empty ip fails.
    GeoProvider provider(QList<QString> ips, QList<int> delaysMs = {0})
    {
        return GeoProvider(
            {.fetch = [this, ips, delaysMs](QUrl) -> QCoro::Task<FetchResult> {
                 const int call = fetches++;
                 clock = clock.addSecs(40);
                 co_await QCoro::sleepFor(std::chrono::milliseconds(
                     delaysMs[std::min<qsizetype>(call, delaysMs.size() - 1)]));
                 const QString ip = ips[std::min<qsizetype>(call, ips.size() - 1)];
                 if (ip.isEmpty())
                     co_return std::unexpected(GeoError::transport(u"down"_s));
                 co_return u"{\"success\":true,\"country_code\":\"FR\",\"ip\":\"%1\"}"_s.arg(ip)
                     .toUtf8();
             },
             .store = store,
             .now = [this] { return clock; }});
    }

    void prepareCache(const QByteArray &bytes)
    {
        if (!bytes.isNull())
            QVERIFY(store->set(GeoProvider::cacheKey, bytes));
    }

private Q_SLOTS:
    void init()
    {
        store = std::make_shared<DirectoryStore>(dir.filePath(QString::number(++tests)));
        clock = requestStart;
        fetches = 0;
    }

    void snapshot_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<bool>("showsCached");
        QTest::newRow("preview with a cache") << cachedBytes << true << false;
        QTest::newRow("empty cache") << QByteArray() << false << false;
        QTest::newRow("cache") << cachedBytes << false << true;
        QTest::newRow("unreadable cache") << unreadable << false << false;
    }
    void snapshot()
    {
        QFETCH(QByteArray, cache);
        QFETCH(bool, preview);
        QFETCH(bool, showsCached);
        prepareCache(cache);
        const GeoEntry entry = provider({u"198.51.100.7"_s}).snapshot(preview);
        QCOMPARE(entry.geo, showsCached ? cachedRecord : GeoInfo::sample());
        QVERIFY(!entry.isStale);
        QCOMPARE(entry.date, requestStart);
        QCOMPARE(fetches, 0);
    }

    void timeline_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("showsCached");
        QTest::newRow("first, offline") << QByteArray() << false << false;
        QTest::newRow("offline, cached") << cachedBytes << false << true;
        QTest::newRow("offline, unreadable") << unreadable << false << false;
        QTest::newRow("online, cached") << cachedBytes << true << false;
        QTest::newRow("online, unreadable") << unreadable << true << false;
    }
    void timeline()
    {
        QFETCH(QByteArray, cache);
        QFETCH(bool, online);
        QFETCH(bool, showsCached);
        prepareCache(cache);
        const auto timeline =
            test::awaitWithin(provider({online ? u"198.51.100.7"_s : QString()}).timeline(), 5000);
        QVERIFY(timeline);
        const GeoEntry &entry = timeline->entry;
        QCOMPARE(entry.date, requestStart);
        QCOMPARE(timeline->reloadAfter, requestStart.addSecs(online ? 900 : 300));
        QCOMPARE(entry.isStale, !online);
        if (online) {
            QCOMPARE(entry.geo->ip, u"198.51.100.7"_s);
            QCOMPARE(store->data(GeoProvider::cacheKey),
                     QJsonDocument(entry.geo->toJson()).toJson(QJsonDocument::Compact));
        } else {
            QCOMPARE(entry.geo, showsCached ? std::optional(cachedRecord) : std::nullopt);
            QCOMPARE(store->data(GeoProvider::cacheKey),
                     cache.isNull() ? std::nullopt : std::optional(cache));
        }
    }

    // Two lookups in flight: the slower one answers last, and its record stays cached.
    void overlappingTimelines()
    {
        const GeoProvider overlapping = provider({u"192.0.2.1"_s, u"192.0.2.2"_s}, {300, 10});
        QList<QString> completed;
        const auto collect = [&](QCoro::Task<GeoTimeline> task) -> QCoro::Task<> {
            completed.append((co_await std::move(task)).entry.geo->ip);
        };
        const QCoro::Task<> slow = collect(overlapping.timeline());
        const QCoro::Task<> fast = collect(overlapping.timeline());
        QVERIFY(QTest::qWaitFor([&] { return completed.size() == 2; }, 5000));
        QCOMPARE(completed, (QList<QString>{u"192.0.2.2"_s, u"192.0.2.1"_s}));
        QCOMPARE(overlapping.cached()->ip, u"192.0.2.1"_s);
    }
};

} // namespace velmora

QTEST_GUILESS_MAIN(velmora::TestWidgetProvider)
#include "tst_widgetprovider.moc"
