#include "geoinfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <cmath>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {
GeoInfo berlin(double fetchedAt)
{
    return GeoInfo{u"203.0.113.42"_s,
                   u"Germany"_s,
                   u"DE"_s,
                   u"Berlin"_s,
                   u"Deutsche Telekom AG"_s,
                   u"AS3320"_s,
                   u"Europe/Berlin"_s,
                   Timestamp::fromSecondsSinceReference(fetchedAt)};
}

// Through the stored form as bytes, the way the widget's cache keeps it.
Result<GeoInfo, QString> roundTrip(const GeoInfo &info)
{
    const QByteArray stored = QJsonDocument(info.toJson()).toJson(QJsonDocument::Compact);
    return GeoInfo::fromJson(QJsonDocument::fromJson(stored).object());
}
} // namespace

class TestGeoInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsExact_data()
    {
        QTest::addColumn<double>("fetchedAt");
        QTest::newRow("now") << Timestamp::now().secondsSinceReference();
        QTest::newRow("awkward fraction") << 786'543'210.123456789;
        QTest::newRow("one ulp above a whole second") << std::nextafter(800'000'000.0, 1e12);
        QTest::newRow("before the reference instant") << -31'536'000.000001;
        QTest::newRow("zero") << 0.0;
    }

    void roundTripIsExact()
    {
        QFETCH(double, fetchedAt);
        const GeoInfo info = berlin(fetchedAt);
        const auto decoded = roundTrip(info);
        QVERIFY2(decoded, decoded ? "" : qPrintable(decoded.error()));
        QCOMPARE(*decoded, info);
        QCOMPARE(decoded->fetchedAt.secondsSinceReference(), fetchedAt);
    }

    void encodingKeysAndTypes()
    {
        const QJsonObject json = berlin(1.5).toJson();
        QCOMPARE(json.keys(), (QStringList{u"asn"_s, u"city"_s, u"country"_s, u"countryCode"_s,
                                           u"fetchedAt"_s, u"ip"_s, u"isp"_s, u"timezone"_s}));
        QCOMPARE(json.value(u"countryCode"_s).toString(), u"DE"_s);
        QCOMPARE(json.value(u"fetchedAt"_s).toDouble(), 1.5);
    }

    void fetchedAtCountsFrom2001()
    {
        const auto at = QDateTime(QDate(2001, 1, 1), QTime(0, 0, 10), Qt::UTC);
        QCOMPARE(Timestamp::fromDateTime(at).secondsSinceReference(), 10.0);
        QCOMPARE(Timestamp::fromSecondsSinceReference(10).toDateTime(), at);
        const double sinceReference =
            Timestamp::now().toDateTime().toSecsSinceEpoch() - 978'307'200.0;
        QVERIFY(std::abs(Timestamp::now().secondsSinceReference() - sinceReference) < 5);
    }

    void decodingRejects_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined removes the key

        const QStringList keys{u"ip"_s,  u"country"_s, u"countryCode"_s, u"city"_s,
                               u"isp"_s, u"asn"_s,     u"timezone"_s,    u"fetchedAt"_s};
        for (const QString &key : keys) {
            QTest::addRow("%s missing", qPrintable(key))
                << key << QJsonValue(QJsonValue::Undefined);
            QTest::addRow("%s null", qPrintable(key)) << key << QJsonValue(QJsonValue::Null);
            QTest::addRow("%s Boolean", qPrintable(key)) << key << QJsonValue(true);
        }
        QTest::newRow("ip as number") << u"ip"_s << QJsonValue(42);
        QTest::newRow("fetchedAt as text") << u"fetchedAt"_s << QJsonValue(u"786543210"_s);
        QTest::newRow("fetchedAt as array") << u"fetchedAt"_s << QJsonValue(QJsonArray{1});
    }

    void decodingRejects()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject json = berlin(12.25).toJson();
        if (value.isUndefined())
            json.remove(key);
        else
            json.insert(key, value);
        const auto decoded = GeoInfo::fromJson(json);
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().contains(key), qPrintable(decoded.error()));
    }

    void decodingIgnoresExtraKeys()
    {
        QJsonObject json = berlin(3).toJson();
        json.insert(u"flag"_s, u"whatever"_s);
        json.insert(u"region"_s, QJsonObject{{u"x"_s, 1}});
        const auto decoded = GeoInfo::fromJson(json);
        QVERIFY(decoded);
        QCOMPARE(*decoded, berlin(3));
    }

    void equalityIncludesFetchedAt()
    {
        QCOMPARE(berlin(5), berlin(5));
        QVERIFY(berlin(5) != berlin(5.000001));
        GeoInfo other = berlin(5);
        other.timezone = u"Europe/Paris"_s;
        QVERIFY(other != berlin(5));
    }

    void flagFollowsCountryCode()
    {
        GeoInfo info = berlin(0);
        info.countryCode = u"tr"_s;
        QCOMPARE(info.flag(), QString::fromUcs4(U"\U0001F1F9\U0001F1F7"));
    }

    void sampleIsBuiltOnce()
    {
        const GeoInfo &first = GeoInfo::sample();
        QCOMPARE(first.ip, u"203.0.113.42"_s);
        QCOMPARE(first.asn, u"AS3320"_s);
        QCOMPARE(first.timezone, u"Europe/Berlin"_s);
        QTest::qWait(5);
        QCOMPARE(&GeoInfo::sample(), &first);
        QCOMPARE(GeoInfo::sample().fetchedAt, first.fetchedAt);
    }
};

QTEST_GUILESS_MAIN(TestGeoInfo)
#include "tst_geoinfo.moc"
