#include "geoclient.h"
#include "geoinfo.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

using Response = TestServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {
// "ip|country|countryCode|city|isp|asn|timezone"; fetchedAt is not compared.
QString fieldsOf(const GeoInfo &info)
{
    return QStringList{info.ip,  info.country, info.countryCode, info.city,
                       info.isp, info.asn,     info.timezone}
        .join(u'|');
}

// Rows tagged "fallback: ..." are for the fallback provider, all others for the primary.
GeoResult parse(const QByteArray &body)
{
    return QByteArrayView(QTest::currentDataTag()).startsWith("fallback")
               ? GeoClient::parseIpapi(body)
               : GeoClient::parseIpwhois(body);
}

} // namespace

// The geo library: the stored form, both providers' answers, and the live fetch against a
// local server.
class TestGeo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The stored form, as the widget's cache keeps it: a record with an extra key reads back
    // whole; one without a key, or with a null, is refused, naming the key. (Through bytes and
    // back: tst_widget.)
    void storedForm_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");

        QTest::newRow("extra key") << u"flag"_s << QJsonValue(u"whatever"_s);
        QTest::newRow("ip missing") << u"ip"_s << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("fetchedAt null") << u"fetchedAt"_s << QJsonValue(QJsonValue::Null);
    }

    void storedForm()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject json = GeoInfo::sample().toJson();
        const bool known = json.contains(key);
        json.insert(key, value); // undefined removes it
        const auto decoded = GeoInfo::fromJson(json);
        if (!known) {
            QVERIFY(decoded);
            QCOMPARE(*decoded, GeoInfo::sample());
            return;
        }
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().contains(key), qPrintable(decoded.error()));
    }

    // expected: the fields of an answer taken; of one refused, the badResponse text exactly or
    // a part of the decoding error.
    void providerAnswer_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // a GeoError::Kind, -1 when taken
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *tag, const QByteArray &body, int kind,
                            const QString &expected) {
            QTest::newRow(tag) << body << kind << expected;
        };
        const int taken = -1;
        const int bad = int(GeoError::Kind::badResponse);
        const int decoding = int(GeoError::Kind::decoding);

        // Full answers of both providers are the self-test's (tests/package/check_package.sh).
        row("primary: isp wins over org",
            R"({"ip":"1","success":true,"country_code":"DE","connection":{"org":"DTAG","isp":"DT AG"}})",
            taken, u"1|DE|DE||DT AG||"_s);
        row("primary: org stands in for isp; whole-number asn written as a decimal",
            R"({"ip":"1","country_code":"US","connection":{"org":"Org Inc","asn":15169.0}})", taken,
            u"1|US|US||Org Inc|AS15169|"_s);
        row("primary: nulls count as absent; empty texts are kept, not trimmed",
            R"({"success":null,"ip":"","country":" Germany ","country_code":"","city":null,"connection":null,"timezone":{"id":null}})",
            taken, u"| Germany |||||"_s);
        // Whatever a provider sends is shown as plain text: no direction overrides or escapes.
        row("hostile: markup stays text; breaks become spaces; controls and overrides go",
            "{\"ip\":\"1\",\"country_code\":\"DE\",\"country\":\"<img src='x'>\\u202egnirts\","
            "\"city\":\"Ber\\nlin\\u001b[2J\\u2066\\u0000\"}",
            taken, u"1|<img src='x'>gnirts|DE|Ber lin[2J|||"_s);
        row("hostile: a 1 MB name is cut",
            R"({"ip":"1","country_code":"DE","city":")" + QByteArray(1 << 20, 'x') + R"("})", taken,
            u"1|DE|DE|%1\u2026|||"_s.arg(QString(200, u'x')));
        row("fallback: code stands in for the name; error false; asn as sent",
            R"({"ip":"1","country_code":"JP","error":false,"asn":"2516"})", taken,
            u"1|JP|JP|||2516|"_s);

        row("primary: no ip", R"({"country_code":"DE"})", bad, u"Missing ip/country"_s);
        row("not JSON", "<html>busy</html>", decoding, u"not valid JSON"_s);
        row("fallback: error with reason", R"({"error":true,"reason":"RateLimited"})", bad,
            u"RateLimited"_s);
    }

    void providerAnswer()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, expected);

        const Timestamp before = Timestamp::now();
        const GeoResult result = parse(body);
        const QString error = result ? QString() : result.error().errorDescription();
        if (kind < 0) {
            QVERIFY2(result, qPrintable(error));
            QCOMPARE(fieldsOf(*result), expected);
            QVERIFY(result->fetchedAt >= before && result->fetchedAt <= Timestamp::now());
            return;
        }
        QVERIFY(!result);
        QCOMPARE(int(result.error().kind()), kind);
        if (kind == int(GeoError::Kind::badResponse))
            QCOMPARE(error, expected);
        else
            QVERIFY2(error.contains(expected), qPrintable(error));
    }

    // Qt warns, for one, when an aborted reply is read.
    void init() { QTest::failOnWarning(QRegularExpression(u"."_s)); }

    void liveFetch_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("error"); // within the badResponse text; empty for success

        const qint64 bound = GeoClient::maxBodyBytes;
        // Cacheable, and revalidatable: neither is done.
        QTest::newRow("exactly the bound, 299, cacheable")
            << Response{.status = 299,
                        .headers = {{"Cache-Control", "public, max-age=3600"},
                                    {"ETag", "\"v1\""},
                                    {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}},
                        .zeros = bound}
            << QString();
        QTest::newRow("one byte over")
            << Response{.zeros = bound + 1} << u"from 127.0.0.1 is larger than"_s;
        // The status is the reason, not the size of the error page that came with it.
        QTest::newRow("404 with an endless body")
            << Response{.status = 404, .endless = true} << u"HTTP 404 from 127.0.0.1"_s;
    }

    void liveFetch()
    {
        QFETCH(Response, response);
        QFETCH(QString, error);

        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond(response);

        // Well within the inactivity timeout: cut off answers must not wait for it.
        const QUrl url = server.url("/json/?fields=ip,country");
        const auto result = test::awaitWithin(GeoClient::liveFetch(url), 4000);
        QVERIFY(result);
        if (error.isEmpty()) {
            QVERIFY2(result->hasValue(),
                     result->hasValue() ? "" : qPrintable(result->error().errorDescription()));
            QCOMPARE(**result, QByteArray(*response.zeros, '\0'));
            // Nor kept for a next fetch: a kept connection keeps every TLS session made on it.
            QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
            // Asked again, plainly: a cached answer would not ask, a revalidated one would ask
            // conditionally.
            const auto again = test::awaitWithin(GeoClient::liveFetch(url), 4000);
            QVERIFY(again && again->hasValue());
            const QList<TestServer::Request> requests = server.requests();
            QCOMPARE(requests.size(), 2);
            QCOMPARE(requests[1].method + ' ' + requests[1].path, "GET /json/?fields=ip,country");
            QCOMPARE(requests[1].header("User-Agent"), "Velmora/1.0");
            QVERIFY(requests[1].header("If-None-Match").isNull());
            return;
        }
        QVERIFY(!result->hasValue());
        QCOMPARE(result->error().kind(), GeoError::Kind::badResponse);
        QVERIFY2(result->error().errorDescription().contains(error),
                 qPrintable(result->error().errorDescription()));
        if (!response.endless)
            return; // all of it may have arrived before the cut, on a connection kept for reuse

        // The rest is not read on in the background: the connection closes at once. (How much the
        // server got to send before then says little: on loopback the socket buffers alone take
        // megabytes, and more while this process is starved of the processor.)
        QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
    }
};

QTEST_GUILESS_MAIN(TestGeo)
#include "tst_geo.moc"
