#include "geoclient.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {
// ip, country, countryCode, city, isp, asn, timezone; fetchedAt is not compared.
using Fields = QStringList;

Fields fieldsOf(const GeoInfo &info)
{
    return {info.ip, info.country, info.countryCode, info.city, info.isp, info.asn, info.timezone};
}

using Parser = GeoResult (*)(const QByteArray &);
} // namespace

Q_DECLARE_METATYPE(Parser)
Q_DECLARE_METATYPE(GeoError::Kind)

class TestGeoParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accepted_data()
    {
        QTest::addColumn<Parser>("parse");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Fields>("expected");

        const Parser ipwhois = &GeoClient::parseIpwhois;
        const Parser ipapi = &GeoClient::parseIpapi;

        QTest::newRow("primary: full answer")
            << ipwhois
            << R"({"ip":"203.0.113.42","success":true,"type":"IPv4","continent":"Europe","country":"Germany","country_code":"DE","region":"Berlin","city":"Berlin","connection":{"asn":3320,"org":"DTAG","isp":"Deutsche Telekom AG","domain":"example.net"},"timezone":{"id":"Europe/Berlin","abbr":"CET","utc":"+01:00"}})"_ba
            << Fields{u"203.0.113.42"_s,        u"Germany"_s, u"DE"_s,           u"Berlin"_s,
                      u"Deutsche Telekom AG"_s, u"AS3320"_s,  u"Europe/Berlin"_s};
        QTest::newRow("primary: no success key, minimal")
            << ipwhois << R"({"ip":"2001:db8::1","country_code":"de"})"_ba
            << Fields{u"2001:db8::1"_s, u"de"_s, u"de"_s, {}, {}, {}, {}};
        QTest::newRow("primary: org stands in for isp")
            << ipwhois << R"({"ip":"1","country_code":"US","connection":{"org":"Org Inc"}})"_ba
            << Fields{u"1"_s, u"US"_s, u"US"_s, {}, u"Org Inc"_s, {}, {}};
        QTest::newRow("primary: asn without isp or org")
            << ipwhois << R"({"ip":"1","country_code":"US","connection":{"asn":15169}})"_ba
            << Fields{u"1"_s, u"US"_s, u"US"_s, {}, {}, u"AS15169"_s, {}};
        QTest::newRow("primary: nulls count as absent")
            << ipwhois
            << R"({"success":null,"ip":"1","country":null,"country_code":"FR","city":null,"connection":null,"timezone":{"id":null}})"_ba
            << Fields{u"1"_s, u"FR"_s, u"FR"_s, {}, {}, {}, {}};
        QTest::newRow("primary: empty texts are kept, not trimmed")
            << ipwhois << R"({"ip":"","country":" Germany ","country_code":"","city":""})"_ba
            << Fields{{}, u" Germany "_s, {}, {}, {}, {}, {}};
        QTest::newRow("primary: whole-number asn written as a decimal")
            << ipwhois << R"({"ip":"1","country_code":"DE","connection":{"asn":3320.0}})"_ba
            << Fields{u"1"_s, u"DE"_s, u"DE"_s, {}, {}, u"AS3320"_s, {}};
        QTest::newRow("primary: unicode text")
            << ipwhois
            << R"({"ip":"1","country":"T\u00fcrkiye","country_code":"TR","city":"\u0130stanbul"})"_ba
            << Fields{u"1"_s, u"T\u00fcrkiye"_s, u"TR"_s, u"\u0130stanbul"_s, {}, {}, {}};

        QTest::newRow("fallback: full answer")
            << ipapi
            << R"({"ip":"198.51.100.7","city":"Istanbul","region":"Istanbul","country":"TR","country_name":"Turkey","country_code":"TR","timezone":"Europe/Istanbul","asn":"AS9121","org":"Turk Telekom"})"_ba
            << Fields{u"198.51.100.7"_s,   u"Turkey"_s,       u"TR"_s,
                      u"Istanbul"_s,       u"Turk Telekom"_s, u"AS9121"_s,
                      u"Europe/Istanbul"_s};
        QTest::newRow("fallback: code stands in for the name; error false")
            << ipapi << R"({"ip":"1","country_code":"JP","error":false})"_ba
            << Fields{u"1"_s, u"JP"_s, u"JP"_s, {}, {}, {}, {}};
        QTest::newRow("fallback: asn taken as sent")
            << ipapi << R"({"ip":"1","country_code":"JP","asn":"2516"})"_ba
            << Fields{u"1"_s, u"JP"_s, u"JP"_s, {}, {}, u"2516"_s, {}};
    }

    void accepted()
    {
        QFETCH(Parser, parse);
        QFETCH(QByteArray, body);
        QFETCH(Fields, expected);

        const Timestamp before = Timestamp::now();
        const GeoResult result = parse(body);
        QVERIFY2(result, result ? "" : qPrintable(result.error().errorDescription()));
        QCOMPARE(fieldsOf(*result), expected);
        QVERIFY(result->fetchedAt >= before && result->fetchedAt <= Timestamp::now());
    }

    void rejected_data()
    {
        QTest::addColumn<Parser>("parse");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<GeoError::Kind>("kind");
        QTest::addColumn<QString>("text"); // exact for badResponse, a part otherwise

        const Parser ipwhois = &GeoClient::parseIpwhois;
        const Parser ipapi = &GeoClient::parseIpapi;
        const auto bad = GeoError::Kind::badResponse;
        const auto decoding = GeoError::Kind::decoding;

        QTest::newRow("primary: refused with message")
            << ipwhois << R"({"success":false,"message":"Reserved range"})"_ba << bad
            << u"Reserved range"_s;
        QTest::newRow("primary: refused without message")
            << ipwhois << R"({"success":false,"ip":"1","country_code":"DE"})"_ba << bad
            << u"ipwho.is reported failure"_s;
        QTest::newRow("primary: no country code")
            << ipwhois << R"({"ip":"1","country":"Germany"})"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("primary: no ip")
            << ipwhois << R"({"country_code":"DE"})"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("primary: empty object")
            << ipwhois << "{}"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("primary: asn as text")
            << ipwhois << R"({"ip":"1","country_code":"DE","connection":{"asn":"3320"}})"_ba
            << decoding << u"\"connection.asn\""_s;
        QTest::newRow("primary: fractional asn")
            << ipwhois << R"({"ip":"1","country_code":"DE","connection":{"asn":33.5}})"_ba
            << decoding << u"\"connection.asn\""_s;
        QTest::newRow("primary: success as text")
            << ipwhois << R"({"success":"true","ip":"1","country_code":"DE"})"_ba << decoding
            << u"\"success\""_s;
        QTest::newRow("primary: ip as number")
            << ipwhois << R"({"ip":1,"country_code":"DE"})"_ba << decoding << u"\"ip\""_s;
        QTest::newRow("primary: timezone as text")
            << ipwhois << R"({"ip":"1","country_code":"DE","timezone":"Europe/Berlin"})"_ba
            << decoding << u"\"timezone\""_s;
        QTest::newRow("primary: connection as array")
            << ipwhois << R"({"ip":"1","country_code":"DE","connection":[]})"_ba << decoding
            << u"\"connection\""_s;
        QTest::newRow("primary: mistyped field wins over refusal")
            << ipwhois << R"({"success":false,"message":7})"_ba << decoding << u"\"message\""_s;
        QTest::newRow("not JSON") << ipwhois << "<html>busy</html>"_ba << decoding
                                  << u"not valid JSON"_s;
        QTest::newRow("empty body") << ipwhois << QByteArray() << decoding << u"not valid JSON"_s;
        QTest::newRow("trailing garbage") << ipwhois << R"({"ip":"1","country_code":"DE"}x)"_ba
                                          << decoding << u"not valid JSON"_s;
        QTest::newRow("array") << ipapi << R"([{"ip":"1","country_code":"DE"}])"_ba << decoding
                               << u"not a JSON object"_s;

        QTest::newRow("fallback: error with reason")
            << ipapi << R"({"error":true,"reason":"RateLimited"})"_ba << bad << u"RateLimited"_s;
        QTest::newRow("fallback: error without reason")
            << ipapi << R"({"error":true,"ip":"1","country_code":"DE"})"_ba << bad
            << u"ipapi.co reported failure"_s;
        QTest::newRow("fallback: no ip")
            << ipapi << R"({"country_code":"DE"})"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("fallback: asn as number")
            << ipapi << R"({"ip":"1","country_code":"DE","asn":9121})"_ba << decoding
            << u"\"asn\""_s;
        QTest::newRow("fallback: error as number")
            << ipapi << R"({"ip":"1","country_code":"DE","error":1})"_ba << decoding
            << u"\"error\""_s;
    }

    void rejected()
    {
        QFETCH(Parser, parse);
        QFETCH(QByteArray, body);
        QFETCH(GeoError::Kind, kind);
        QFETCH(QString, text);

        const GeoResult result = parse(body);
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), kind);
        if (kind == GeoError::Kind::badResponse)
            QCOMPARE(result.error().errorDescription(), text);
        else
            QVERIFY2(result.error().errorDescription().contains(text),
                     qPrintable(result.error().errorDescription()));
    }
};

QTEST_GUILESS_MAIN(TestGeoParsers)
#include "tst_geoparsers.moc"
