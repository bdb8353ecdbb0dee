#include "widgethost.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace velmora {

class TestWidgetHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The snapshot at once, then the timeline's entry; the next one not before its wall-clock
    // reload date, and soon after it even when the clock jumps there at once, as on a resume.
    void reloadsAtTheWallClockDate_data()
    {
        QTest::addColumn<bool>("online");
        QTest::newRow("success, 15 minutes") << true;
        QTest::newRow("failure, 5 minutes") << false;
    }
    void reloadsAtTheWallClockDate()
    {
        QFETCH(bool, online);
        QTemporaryDir dir;
        QDateTime wall = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        int lookups = 0;
        GeoProvider provider(
            {.fetch = [&](QUrl url) -> QCoro::Task<FetchResult> {
                 lookups += url == GeoClient::primaryURL();
                 if (!online)
                     co_return std::unexpected(GeoError::transport(u"down"_s));
                 co_return R"({"success":true,"ip":"192.0.2.4","country_code":"NL"})";
             },
             .store = std::make_shared<DirectoryStore>(dir.path()),
             .now = [&] { return wall; }});
        WidgetHost host(std::move(provider), {.wallClock = [&] { return wall; },
                                              .wakeCheck = std::chrono::milliseconds(20)});
        QList<GeoEntry> shown;
        connect(&host, &WidgetHost::entryChanged, this, [&] { shown.append(host.entry()); });
        host.start();
        QCOMPARE(shown[0].geo, GeoInfo::sample());
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 2; }, 5000));
        QCOMPARE(shown[1].isStale, !online);
        QCOMPARE(shown[1].geo.has_value(), online);

        const QDateTime due = wall.addSecs(online ? 900 : 300);
        wall = due.addSecs(-1);
        QTest::qWait(100);
        QCOMPARE(lookups, 1);
        wall = due.addSecs(8 * 3600); // a night's sleep
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 3; }, 1000));
        QCOMPARE(lookups, 2);
        QCOMPARE(host.nextReload(), wall.addSecs(online ? 900 : 300));
    }
};

} // namespace velmora

QTEST_GUILESS_MAIN(velmora::TestWidgetHost)
#include "tst_widgethost.moc"
