#include "placements.h"
#include "testhelpers.h"
#include "widgethost.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Wakes when the test says.
struct Waking final : SleepWatcher
{
    void start() override {}
};

const GeoInfo cached(u"192.0.2.9"_s, u"Japan"_s, u"JP"_s, u"Osaka"_s, u"KDDI"_s, u"AS2516"_s,
                     u"Asia/Tokyo"_s, Timestamp::fromSecondsSinceReference(786000000.123456));
const QByteArray cachedBytes = QJsonDocument(cached.toJson()).toJson();
const QByteArray unreadable = "{\"ip\":\"192.0.2.9\"";
const QDateTime requestStart = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);

} // namespace

class TestWidgetTimeline : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int tests = 0;
    std::shared_ptr<DirectoryStore> store;
    QDateTime clock;
    int fetches = 0;

    // Each request takes 40 s of the clock, then answers with ip; an empty one fails.
    GeoProvider provider(const QString &ip)
    {
        const auto fetch = [this, ip](QUrl, const QObject *) -> QCoro::Task<FetchResult> {
            ++fetches;
            clock = clock.addSecs(40);
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
            if (ip.isEmpty())
                co_return std::unexpected(GeoError::transport(u"down"_s));
            co_return u"{\"success\":true,\"country_code\":\"FR\",\"ip\":\"%1\"}"_s.arg(ip)
                .toUtf8();
        };
        return GeoProvider({.fetch = fetch, .store = store, .now = [this] { return clock; }});
    }

private Q_SLOTS:
    void init()
    {
        store = std::make_shared<DirectoryStore>(dir.filePath(QString::number(++tests)));
        clock = requestStart;
        fetches = 0;
    }

    void snapshots_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<std::optional<GeoInfo>>("shows");
        QTest::newRow("preview") << cachedBytes << true << std::optional(GeoInfo::sample());
        QTest::newRow("empty") << QByteArray() << false << std::optional<GeoInfo>();
        QTest::newRow("cached") << cachedBytes << false << std::optional(cached);
        QTest::newRow("unreadable") << unreadable << false << std::optional<GeoInfo>();
    }
    // At once and without a lookup, dated now; the cache left as it was.
    void snapshots()
    {
        QFETCH(QByteArray, cache);
        QFETCH(bool, preview);
        QFETCH(std::optional<GeoInfo>, shows);
        if (!cache.isNull())
            QVERIFY(store->set(GeoProvider::cacheKey, cache).has_value());
        const GeoEntry entry = provider(u"198.51.100.7"_s).snapshot(preview);
        QCOMPARE(fetches, 0);
        QCOMPARE(entry.date, requestStart);
        QVERIFY(!entry.isStale);
        QCOMPARE(entry.geo, shows);
        QCOMPARE(store->data(GeoProvider::cacheKey),
                 cache.isNull() ? std::nullopt : std::optional(cache));
    }

    // Dated from the start of the request, never from the end of the lookup; a success
    // replaces an unreadable cache with exactly the record shown.
    void timelineAfterASuccess()
    {
        QVERIFY(store->set(GeoProvider::cacheKey, unreadable).has_value());
        const auto timeline = test::awaitWithin(provider(u"198.51.100.7"_s).timeline(), 5000);
        QVERIFY(timeline);
        const GeoEntry &entry = timeline->entry;
        QCOMPARE(entry.date, requestStart);
        QCOMPARE(timeline->reloadAfter, requestStart.addSecs(900));
        QVERIFY(!entry.isStale);
        QCOMPARE(entry.geo->ip, u"198.51.100.7"_s);
        QCOMPARE(store->data(GeoProvider::cacheKey),
                 QJsonDocument(entry.geo->toJson()).toJson(QJsonDocument::Compact));
    }

    // The host shows the snapshot at once, then the timeline's entry: after a failure the kept
    // record, marked stale, due again in 5 minutes; the next timeline not before its wall-clock
    // date, and at once on a resume that finds the date past.
    void hostReloads()
    {
        QVERIFY(store->set(GeoProvider::cacheKey, cachedBytes).has_value());
        auto waking = std::make_unique<Waking>();
        Waking *sleep = waking.get();
        WidgetHost host(provider(QString()), {.wallClock = [&] { return clock; }},
                        std::move(waking));
        QList<GeoEntry> shown;
        connect(&host, &WidgetHost::entryChanged, this, [&] { shown.append(host.entry()); });
        host.start();
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 2; }, 5000));
        QVERIFY(shown[1].isStale);
        QCOMPARE(shown[1].geo, cached);

        const QDateTime due = requestStart.addSecs(300);
        clock = due.addSecs(-1);
        QTest::qWait(100);
        QCOMPARE(shown.size(), 2);
        clock = due.addSecs(8 * 3600); // a night's sleep
        Q_EMIT sleep->resumed();
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 3; }, 1000));
        QCOMPARE(host.nextReload(), due.addSecs(8 * 3600 + 300));
    }

    // A restored widget lies wholly inside the work area of its screen, or of the primary
    // screen once its own is gone.
    void restoredPositions()
    {
        const QRect right(1920, 0, 1280, 1024), primary(0, 32, 1920, 1048);
        const QSize size(170, 170);
        QCOMPARE(restoredPosition({2000, 300}, size, right, primary), QPoint(2000, 300));
        QCOMPARE(restoredPosition({3100, 1000}, size, right, primary), QPoint(3030, 854));
        QCOMPARE(restoredPosition({-50, -9}, size, std::nullopt, primary), QPoint(0, 32));
    }

    void placementsFromBadFiles_data()
    {
        QTest::addColumn<mode_t>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<int>("placed");
        const auto row = [](const char *name, mode_t type, const QByteArray &content,
                            const QString &warning, int placed) {
            QTest::newRow(name) << type << content << warning << placed;
        };
        const QByteArray widget = R"({"family":"medium","screen":"B","x":4,"y":5})";
        row("broken", S_IFREG, "[{\"family\":\"medium\"", u"cannot be read.*kept as"_s, 0);
        row("not a widget", S_IFREG, "[7, " + widget + ']', {}, 1);
        row("33 widgets", S_IFREG, '[' + QByteArrayList(33, widget).join(',') + ']',
            u"lists more than 32 widgets; only the first 32 are placed; kept as"_s, 32);
        row("FIFO", S_IFIFO, {}, u"not a regular file"_s, 0);
    }

    // A broken widget list loses nothing: it is moved aside whole, and entries that are not
    // widgets are passed over. Something other than a file is neither read nor moved.
    void placementsFromBadFiles()
    {
        QFETCH(mode_t, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QFETCH(int, placed);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"widgets.json"_s);
        QVERIFY(type == S_IFREG ? test::writeFile(path, content) : test::makeOddFile(path, type));
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        const QList<WidgetPlacement> loaded = PlacementStore(path).load();
        QCOMPARE(loaded.size(), placed);
        if (placed)
            QCOMPARE(loaded.back(), WidgetPlacement(WidgetFamily::medium, u"B"_s, QPoint(4, 5)));
        const QStringList aside = QDir(folder.path()).entryList({u"widgets.json.corrupt-*"_s});
        QCOMPARE(aside.size(), warning.contains(u"kept as"_s) ? 1 : 0);
        if (!aside.isEmpty())
            QCOMPARE(test::readFile(folder.filePath(aside[0])), content);
        QCOMPARE(test::fileMode(path) & S_IFMT, aside.isEmpty() ? type : 0);
        // The cache reads its files alike.
        QCOMPARE(DirectoryStore(folder.path()).data(u"widgets.json"_s).has_value(),
                 aside.isEmpty() && type == S_IFREG);
    }
};

} // namespace velmora

QTEST_GUILESS_MAIN(velmora::TestWidgetTimeline)
#include "tst_widgettimeline.moc"
