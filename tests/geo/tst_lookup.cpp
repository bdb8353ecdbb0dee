#include "geoclient.h"

#include <QTest>

#include <QCoro/QCoroTimer>

#include <chrono>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray primaryBody =
    R"({"ip":"203.0.113.42","country":"Germany","country_code":"DE","connection":{"asn":3320}})"_ba;
const QByteArray fallbackBody = R"({"ip":"198.51.100.7","country_code":"TR","asn":"AS9121"})"_ba;

// What one provider does when asked: answer with a body or fail with an error.
struct Answer
{
    std::optional<QByteArray> body;
    std::optional<GeoError> error;
};

Answer body(const QByteArray &bytes)
{
    return {bytes, std::nullopt};
}
Answer failure(const GeoError &error)
{
    return {std::nullopt, error};
}

// A fetch that answers per URL after a real suspension and records what was asked.
struct ScriptedFetch
{
    Answer primary;
    Answer fallback;
    std::shared_ptr<QList<QUrl>> asked = std::make_shared<QList<QUrl>>();

    Fetch function() const
    {
        return [script = *this](QUrl url) -> QCoro::Task<FetchResult> {
            script.asked->append(url);
            co_await QCoro::sleepFor(1ms);
            const Answer &answer =
                url == GeoClient::primaryURL() ? script.primary : script.fallback;
            if (answer.error)
                co_return std::unexpected(*answer.error);
            co_return *answer.body;
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(Answer)

class TestLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcome_data()
    {
        QTest::addColumn<Answer>("primary");
        QTest::addColumn<Answer>("fallback");
        QTest::addColumn<QString>("expectedIp"); // empty when the lookup must fail
        QTest::addColumn<QString>("expectedError");
        QTest::addColumn<int>("requests");

        const auto timedOut = GeoError::transport(u"Operation timed out"_s);
        QTest::newRow("primary answers; fallback never asked")
            << body(primaryBody) << failure(timedOut) << u"203.0.113.42"_s << QString() << 1;
        QTest::newRow("primary refuses; fallback answers")
            << body(R"({"success":false,"message":"Reserved range"})"_ba) << body(fallbackBody)
            << u"198.51.100.7"_s << QString() << 2;
        QTest::newRow("primary rate-limited; fallback answers")
            << failure(GeoError::badResponse(u"HTTP 429 from ipwho.is"_s)) << body(fallbackBody)
            << u"198.51.100.7"_s << QString() << 2;
        QTest::newRow("primary mistyped; fallback answers")
            << body(R"({"ip":"1","country_code":"DE","connection":{"asn":"3320"}})"_ba)
            << body(fallbackBody) << u"198.51.100.7"_s << QString() << 2;
        QTest::newRow("both fail: texts in order")
            << failure(GeoError::badResponse(u"HTTP 429 from ipwho.is"_s))
            << body(R"({"error":true})"_ba) << QString()
            << u"Lookup failed: ipwho.is: HTTP 429 from ipwho.is; ipapi.co: ipapi.co reported failure"_s
            << 2;
        QTest::newRow("both unreachable")
            << failure(timedOut) << failure(GeoError::transport(u"Network unreachable"_s))
            << QString()
            << u"Lookup failed: ipwho.is: Operation timed out; ipapi.co: Network unreachable"_s
            << 2;
        QTest::newRow("primary incomplete, fallback not JSON")
            << body(R"({"country":"Germany"})"_ba) << body("<html></html>"_ba) << QString()
            << u"Lookup failed: ipwho.is: Missing ip/country; ipapi.co: Unexpected answer: not valid JSON"_s
            << 2;
    }

    void outcome()
    {
        QFETCH(Answer, primary);
        QFETCH(Answer, fallback);
        QFETCH(QString, expectedIp);
        QFETCH(QString, expectedError);
        QFETCH(int, requests);

        const ScriptedFetch script{primary, fallback};
        const GeoResult result = QCoro::waitFor(GeoClient(script.function()).lookup());

        QList<QUrl> expectedAsked{GeoClient::primaryURL(), GeoClient::fallbackURL()};
        QCOMPARE(*script.asked, expectedAsked.first(requests));
        if (!expectedIp.isEmpty()) {
            QVERIFY2(result, result ? "" : qPrintable(result.error().errorDescription()));
            QCOMPARE(result->ip, expectedIp);
            return;
        }
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), GeoError::Kind::allProvidersFailed);
        QCOMPARE(result.error().texts().size(), 2);
        QVERIFY2(result.error().errorDescription().startsWith(expectedError),
                 qPrintable(result.error().errorDescription()));
    }

    void endpoints()
    {
        QCOMPARE(GeoClient::primaryURL(), QUrl(u"https://ipwho.is/"_s));
        QCOMPARE(GeoClient::fallbackURL(), QUrl(u"https://ipapi.co/json/"_s));
    }

    void clientMayGoAwayDuringLookup()
    {
        const ScriptedFetch script{failure(GeoError::transport(u"x"_s)), body(fallbackBody)};
        auto client = std::make_unique<GeoClient>(script.function());
        QCoro::Task<GeoResult> lookup = client->lookup();
        client.reset();
        const GeoResult result = QCoro::waitFor(std::move(lookup));
        QVERIFY(result);
        QCOMPARE(result->countryCode, u"TR"_s);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
