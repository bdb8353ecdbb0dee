#include "geoinfo.h"

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
} // namespace

class TestGeoInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsExact_data()
    {
        QTest::addColumn<double>("fetchedAt");
        QTest::newRow("awkward fraction") << 786'543'210.123456789;
        QTest::newRow("one ulp above a whole second") << std::nextafter(800'000'000.0, 1e12);
        QTest::newRow("before the reference instant") << -31'536'000.000001;
    }

    // Through the stored form as bytes, the way the widget's cache keeps it.
    void roundTripIsExact()
    {
        QFETCH(double, fetchedAt);
        const GeoInfo info = berlin(fetchedAt);
        const QByteArray stored = QJsonDocument(info.toJson()).toJson(QJsonDocument::Compact);
        const auto decoded = GeoInfo::fromJson(QJsonDocument::fromJson(stored).object());
        QVERIFY2(decoded, decoded ? "" : qPrintable(decoded.error()));
        QCOMPARE(*decoded, info);
        QCOMPARE(decoded->fetchedAt.secondsSinceReference(), fetchedAt);
    }

    void storedForm()
    {
        const QJsonObject json = berlin(1.5).toJson();
        QCOMPARE(json.keys(), (QStringList{u"asn"_s, u"city"_s, u"country"_s, u"countryCode"_s,
                                           u"fetchedAt"_s, u"ip"_s, u"isp"_s, u"timezone"_s}));
        QCOMPARE(json.value(u"fetchedAt"_s), QJsonValue(1.5));
        // Extra keys are ignored.
        QJsonObject extended = json;
        extended.insert(u"flag"_s, u"whatever"_s);
        const auto decoded = GeoInfo::fromJson(extended);
        QVERIFY(decoded);
        QCOMPARE(*decoded, berlin(1.5));
        // Counted from 2001-01-01T00:00:00Z.
        const QDateTime at(QDate(2001, 1, 1), QTime(0, 0, 10), Qt::UTC);
        QCOMPARE(Timestamp::fromDateTime(at).secondsSinceReference(), 10.0);
        QCOMPARE(Timestamp::fromSecondsSinceReference(10).toDateTime(), at);
    }

    void decodingRejects_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined removes the key

        for (const QString &key : berlin(0).toJson().keys()) {
            QTest::addRow("%s missing", qPrintable(key))
                << key << QJsonValue(QJsonValue::Undefined);
            QTest::addRow("%s null", qPrintable(key)) << key << QJsonValue(QJsonValue::Null);
        }
        QTest::newRow("ip as number") << u"ip"_s << QJsonValue(42);
        QTest::newRow("fetchedAt as text") << u"fetchedAt"_s << QJsonValue(u"786543210"_s);
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

    void sampleIsBuiltOnce()
    {
        const GeoInfo &first = GeoInfo::sample();
        QTest::qWait(5);
        QCOMPARE(GeoInfo::sample().fetchedAt, first.fetchedAt);
    }
};

QTEST_GUILESS_MAIN(TestGeoInfo)
#include "tst_geoinfo.moc"
