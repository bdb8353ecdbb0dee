#include "geoclient.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

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

Q_DECLARE_METATYPE(GeoError::Kind)

class TestGeoParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");

        // Full answers of both providers are the self-test's (tst_selftest).
        QTest::newRow("primary: isp wins over org")
            << R"({"ip":"1","success":true,"country_code":"DE","connection":{"org":"DTAG","isp":"DT AG"}})"_ba
            << u"1|DE|DE||DT AG||"_s;
        QTest::newRow("primary: no success key, minimal")
            << R"({"ip":"2001:db8::1","country_code":"de"})"_ba << u"2001:db8::1|de|de||||"_s;
        QTest::newRow("primary: org stands in for isp; whole-number asn written as a decimal")
            << R"({"ip":"1","country_code":"US","connection":{"org":"Org Inc","asn":15169.0}})"_ba
            << u"1|US|US||Org Inc|AS15169|"_s;
        QTest::newRow("primary: nulls count as absent")
            << R"({"success":null,"ip":"1","country":null,"country_code":"FR","city":null,"connection":null,"timezone":{"id":null}})"_ba
            << u"1|FR|FR||||"_s;
        QTest::newRow("primary: empty texts are kept, not trimmed")
            << R"({"ip":"","country":" Germany ","country_code":"","city":""})"_ba
            << u"| Germany |||||"_s;

        QTest::newRow("fallback: code stands in for the name; error false")
            << R"({"ip":"1","country_code":"JP","error":false})"_ba << u"1|JP|JP||||"_s;
        QTest::newRow("fallback: asn taken as sent")
            << R"({"ip":"1","country_code":"JP","asn":"2516"})"_ba << u"1|JP|JP|||2516|"_s;
    }

    void accepted()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);

        const Timestamp before = Timestamp::now();
        const GeoResult result = parse(body);
        QVERIFY2(result, result ? "" : qPrintable(result.error().errorDescription()));
        QCOMPARE(fieldsOf(*result), expected);
        QVERIFY(result->fetchedAt >= before && result->fetchedAt <= Timestamp::now());
    }

    void rejected_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<GeoError::Kind>("kind");
        QTest::addColumn<QString>("text"); // exact for badResponse, a part otherwise

        const auto bad = GeoError::Kind::badResponse;
        const auto decoding = GeoError::Kind::decoding;

        QTest::newRow("primary: refused with message")
            << R"({"success":false,"message":"Reserved range"})"_ba << bad << u"Reserved range"_s;
        QTest::newRow("primary: refused without message")
            << R"({"success":false,"ip":"1","country_code":"DE"})"_ba << bad
            << u"ipwho.is reported failure"_s;
        QTest::newRow("primary: no country code")
            << R"({"ip":"1","country":"Germany"})"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("primary: no ip")
            << R"({"country_code":"DE"})"_ba << bad << u"Missing ip/country"_s;
        QTest::newRow("primary: asn as text")
            << R"({"ip":"1","country_code":"DE","connection":{"asn":"3320"}})"_ba << decoding
            << u"\"connection.asn\""_s;
        QTest::newRow("primary: fractional asn")
            << R"({"ip":"1","country_code":"DE","connection":{"asn":33.5}})"_ba << decoding
            << u"\"connection.asn\""_s;
        QTest::newRow("primary: success as text")
            << R"({"success":"true","ip":"1","country_code":"DE"})"_ba << decoding
            << u"\"success\""_s;
        QTest::newRow("primary: ip as number")
            << R"({"ip":1,"country_code":"DE"})"_ba << decoding << u"\"ip\""_s;
        QTest::newRow("primary: timezone as text")
            << R"({"ip":"1","country_code":"DE","timezone":"Europe/Berlin"})"_ba << decoding
            << u"\"timezone\""_s;
        QTest::newRow("primary: mistyped field wins over refusal")
            << R"({"success":false,"message":7})"_ba << decoding << u"\"message\""_s;
        QTest::newRow("not JSON") << "<html>busy</html>"_ba << decoding << u"not valid JSON"_s;
        QTest::newRow("fallback: array")
            << R"([{"ip":"1","country_code":"DE"}])"_ba << decoding << u"not a JSON object"_s;

        QTest::newRow("fallback: error with reason")
            << R"({"error":true,"reason":"RateLimited"})"_ba << bad << u"RateLimited"_s;
        QTest::newRow("fallback: error without reason")
            << R"({"error":true,"ip":"1","country_code":"DE"})"_ba << bad
            << u"ipapi.co reported failure"_s;
        QTest::newRow("fallback: no ip")
            << R"({"country_code":"DE"})"_ba << bad << u"Missing ip/country"_s;
    }

    void rejected()
    {
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
