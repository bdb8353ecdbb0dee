#include "geoclient.h"

#include <QTest>

#include <QCoro/QCoroTimer>

#include <chrono>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FetchResult)

namespace {

const QByteArray fallbackBody = R"({"ip":"198.51.100.7","country_code":"TR","asn":"AS9121"})"_ba;

// A fetch that answers per URL after a real suspension and records what was asked.
Fetch scripted(FetchResult primary, FetchResult fallback, std::shared_ptr<QList<QUrl>> asked)
{
    return [=](QUrl url) -> QCoro::Task<FetchResult> {
        asked->append(url);
        co_await QCoro::sleepFor(1ms);
        co_return url == GeoClient::primaryURL() ? primary : fallback;
    };
}

} // namespace

class TestLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcome_data()
    {
        QTest::addColumn<FetchResult>("primary");
        QTest::addColumn<FetchResult>("fallback");
        QTest::addColumn<QString>("expected"); // the address found, or the start of the error
        QTest::addColumn<int>("requests");

        const FetchResult rateLimited =
            std::unexpected(GeoError::badResponse(u"HTTP 429 from ipwho.is"_s));
        QTest::newRow("primary answers; fallback never asked")
            << FetchResult(R"({"ip":"203.0.113.42","country_code":"DE"})"_ba)
            << FetchResult(std::unexpected(GeoError::transport(u"Operation timed out"_s)))
            << u"203.0.113.42"_s << 1;
        QTest::newRow("primary refuses; fallback answers")
            << FetchResult(R"({"success":false,"message":"Reserved range"})"_ba)
            << FetchResult(fallbackBody) << u"198.51.100.7"_s << 2;
        // The primary failing in transport: the self-test's fallback check.
        QTest::newRow("both fail: texts in order")
            << rateLimited << FetchResult(R"({"error":true})"_ba)
            << u"Lookup failed: ipwho.is: HTTP 429 from ipwho.is; ipapi.co: ipapi.co reported failure"_s
            << 2;
    }

    void outcome()
    {
        QFETCH(FetchResult, primary);
        QFETCH(FetchResult, fallback);
        QFETCH(QString, expected);
        QFETCH(int, requests);

        const auto asked = std::make_shared<QList<QUrl>>();
        const GeoResult result =
            QCoro::waitFor(GeoClient(scripted(primary, fallback, asked)).lookup());

        const QList<QUrl> both{GeoClient::primaryURL(), GeoClient::fallbackURL()};
        QCOMPARE(*asked, both.first(requests));
        if (result) {
            QCOMPARE(result->ip, expected);
            return;
        }
        QCOMPARE(result.error().kind(), GeoError::Kind::allProvidersFailed);
        QCOMPARE(result.error().texts().size(), 2);
        QVERIFY2(result.error().errorDescription().startsWith(expected),
                 qPrintable(result.error().errorDescription()));
    }

    void clientMayGoAwayDuringLookup()
    {
        const auto asked = std::make_shared<QList<QUrl>>();
        auto client = std::make_unique<GeoClient>(
            scripted(std::unexpected(GeoError::transport(u"x"_s)), fallbackBody, asked));
        QCoro::Task<GeoResult> lookup = client->lookup();
        client.reset();
        const GeoResult result = QCoro::waitFor(std::move(lookup));
        QVERIFY(result);
        QCOMPARE(result->countryCode, u"TR"_s);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
