#include "popovertexts.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

using Geo = std::optional<GeoInfo>;
using Speed = std::optional<SpeedResult>;
using Unit = Preferences::SpeedUnit;

namespace {

const QString emDash = u"\u2014"_s;

GeoInfo record(const QString &ip, const QString &city = u"Berlin"_s,
               const QString &isp = u"Deutsche Telekom AG"_s, const QString &asn = u"AS3320"_s,
               const QString &timezone = u"Europe/Berlin"_s)
{
    return {.ip = ip,
            .country = u"Germany"_s,
            .countryCode = u"DE"_s,
            .city = city,
            .isp = isp,
            .asn = asn,
            .timezone = timezone};
}

SpeedResult speed(std::optional<double> latency, std::optional<double> download,
                  std::optional<double> upload)
{
    return {.latencyMs = latency, .downloadMbps = download, .uploadMbps = upload};
}

// Which derived text a row of the geo table checks.
enum class GeoText { title, subtitle, publicIP, isp, timezone };

} // namespace

Q_DECLARE_METATYPE(Geo)
Q_DECLARE_METATYPE(Speed)
Q_DECLARE_METATYPE(GeoText)

class TestPopoverTexts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Preferences> m_prefs;

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(u"settings.json"_s));
        m_prefs = std::make_unique<Preferences>(*m_store);
    }

    void currentGeo_data()
    {
        QTest::addColumn<QString>("state"); // loading, loaded, failed
        QTest::addColumn<Geo>("lastGeo");
        QTest::addColumn<QString>("shown"); // the ip of the current record, "none" without

        const Geo earlier = record(u"198.51.100.2"_s);
        QTest::newRow("loaded") << u"loaded"_s << earlier << u"203.0.113.1"_s;
        QTest::newRow("loaded, nothing earlier") << u"loaded"_s << Geo() << u"203.0.113.1"_s;
        QTest::newRow("failed keeps the earlier record")
            << u"failed"_s << earlier << u"198.51.100.2"_s;
        QTest::newRow("failed, nothing earlier") << u"failed"_s << Geo() << u"none"_s;
        QTest::newRow("loading keeps the earlier record")
            << u"loading"_s << earlier << u"198.51.100.2"_s;
        QTest::newRow("loading, nothing earlier") << u"loading"_s << Geo() << u"none"_s;
    }

    void currentGeo()
    {
        QFETCH(QString, state);
        QFETCH(Geo, lastGeo);
        QFETCH(QString, shown);

        const GeoState geoState = state == u"loaded"_s ? GeoState::loaded(record(u"203.0.113.1"_s))
                                  : state == u"failed"_s ? GeoState::failed(u"Lookup failed"_s)
                                                         : GeoState::loading();
        const Geo current = PopoverTexts::currentGeo(geoState, lastGeo);
        QCOMPARE(current ? current->ip : u"none"_s, shown);
    }

    void geoTexts_data()
    {
        QTest::addColumn<GeoText>("text");
        QTest::addColumn<Geo>("geo");
        QTest::addColumn<bool>("flag"); // isOnline for the title, ipCopied for the address
        QTest::addColumn<QString>("expected");

        const Geo full = record(u"203.0.113.1"_s);
        const Geo bare = record(u"203.0.113.1"_s, {}, {}, {}, {});
        QTest::newRow("title: country") << GeoText::title << full << true << u"Germany"_s;
        QTest::newRow("title: country, offline") << GeoText::title << full << false << u"Germany"_s;
        QTest::newRow("title: no record, online")
            << GeoText::title << Geo() << true << u"Locating\u2026"_s;
        QTest::newRow("title: no record, offline")
            << GeoText::title << Geo() << false << u"Offline"_s;
        QTest::newRow("subtitle: city") << GeoText::subtitle << full << true << u"Berlin"_s;
        QTest::newRow("subtitle: empty city") << GeoText::subtitle << bare << true << emDash;
        QTest::newRow("subtitle: no record") << GeoText::subtitle << Geo() << true << emDash;
        QTest::newRow("ip") << GeoText::publicIP << full << false << u"203.0.113.1"_s;
        QTest::newRow("ip: copied") << GeoText::publicIP << full << true << u"Copied"_s;
        QTest::newRow("ip: no record") << GeoText::publicIP << Geo() << false << emDash;
        QTest::newRow("ip: copied, no record") << GeoText::publicIP << Geo() << true << u"Copied"_s;
        QTest::newRow("isp: both")
            << GeoText::isp << full << false << u"Deutsche Telekom AG \u00B7 AS3320"_s;
        QTest::newRow("isp: empty isp")
            << GeoText::isp << Geo(record(u"203.0.113.1"_s, {}, {}, u"AS3320"_s)) << false
            << u"AS3320"_s;
        QTest::newRow("isp: empty asn")
            << GeoText::isp << Geo(record(u"203.0.113.1"_s, {}, u"Telekom"_s, {})) << false
            << u"Telekom"_s;
        QTest::newRow("isp: neither") << GeoText::isp << bare << false << emDash;
        QTest::newRow("isp: no record") << GeoText::isp << Geo() << false << emDash;
        QTest::newRow("timezone") << GeoText::timezone << full << false << u"Europe/Berlin"_s;
        QTest::newRow("timezone: empty") << GeoText::timezone << bare << false << emDash;
        QTest::newRow("timezone: no record") << GeoText::timezone << Geo() << false << emDash;
    }

    void geoTexts()
    {
        QFETCH(GeoText, text);
        QFETCH(Geo, geo);
        QFETCH(bool, flag);
        QFETCH(QString, expected);

        switch (text) {
        case GeoText::title:
            QCOMPARE(PopoverTexts::title(geo, flag), expected);
            break;
        case GeoText::subtitle:
            QCOMPARE(PopoverTexts::subtitle(geo), expected);
            break;
        case GeoText::publicIP:
            QCOMPARE(PopoverTexts::publicIP(geo, flag), expected);
            break;
        case GeoText::isp:
            QCOMPARE(PopoverTexts::isp(geo), expected);
            break;
        case GeoText::timezone:
            QCOMPARE(PopoverTexts::timezone(geo), expected);
            break;
        }
    }

    void dns_data()
    {
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<QString>("expected");

        QTest::newRow("none") << QStringList() << emDash;
        QTest::newRow("one") << QStringList{u"192.0.2.53"_s} << u"192.0.2.53"_s;
        QTest::newRow("five: the first three, one per line")
            << QStringList{u"192.0.2.1"_s, u"2001:db8::2"_s, u"192.0.2.3"_s, u"192.0.2.4"_s,
                           u"192.0.2.5"_s}
            << u"192.0.2.1\n2001:db8::2\n192.0.2.3"_s;
    }

    void dns()
    {
        QFETCH(QStringList, servers);
        QFETCH(QString, expected);
        QCOMPARE(PopoverTexts::dns(servers), expected);
    }

    void speedFigures_data()
    {
        QTest::addColumn<Speed>("result");
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("latency");
        QTest::addColumn<QString>("download");
        QTest::addColumn<QString>("upload");

        QTest::newRow("no result") << Speed() << Unit::bits << emDash << emDash << emDash;
        QTest::newRow("12.6 ms rounds up, bits") << Speed(speed(12.6, 300, 40)) << Unit::bits
                                                 << u"13 ms"_s << u"300.0 Mbps"_s << u"40.0 Mbps"_s;
        QTest::newRow("bytes") << Speed(speed(12.4, 300, 40)) << Unit::bytes << u"12 ms"_s
                               << u"37.5 MB/s"_s << u"5.0 MB/s"_s;
        QTest::newRow("ties go to even, like printf")
            << Speed(speed(12.5, {}, {})) << Unit::bits << u"12 ms"_s << emDash << emDash;
        QTest::newRow("13.5 ties up to 14")
            << Speed(speed(13.5, {}, {})) << Unit::bits << u"14 ms"_s << emDash << emDash;
        QTest::newRow("only the latency failed")
            << Speed(speed({}, 0.26, 1)) << Unit::bits << emDash << u"0.3 Mbps"_s << u"1.0 Mbps"_s;
    }

    void speedFigures()
    {
        QFETCH(Speed, result);
        QFETCH(Unit, unit);
        QFETCH(QString, latency);
        QFETCH(QString, download);
        QFETCH(QString, upload);

        m_prefs->setSpeedUnit(unit);
        QCOMPARE(PopoverTexts::latency(result), latency);
        QCOMPARE(PopoverTexts::download(result, *m_prefs), download);
        QCOMPARE(PopoverTexts::upload(result, *m_prefs), upload);
    }

    void speedStatus_data()
    {
        QTest::addColumn<SpeedPhase>("phase");
        QTest::addColumn<bool>("hasResult");
        QTest::addColumn<QString>("expected");

        QTest::newRow("idle, no result") << SpeedPhase::idle << false << QString();
        QTest::newRow("idle with a result: its local time, short")
            << SpeedPhase::idle << true << u"Last run 14:05"_s;
        QTest::newRow("running hides the last run")
            << SpeedPhase::download << true << u"Testing download\u2026"_s;
        QTest::newRow("running, first time")
            << SpeedPhase::latency << false << u"Measuring latency\u2026"_s;
    }

    void speedStatus()
    {
        QFETCH(SpeedPhase, phase);
        QFETCH(bool, hasResult);
        QFETCH(QString, expected);

        SpeedResult result = speed(10, 20, 30);
        result.date =
            Timestamp::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 59), Qt::LocalTime));
        QCOMPARE(PopoverTexts::speedStatus(phase, hasResult ? Speed(result) : Speed()), expected);
    }

    void lastRunInOtherLocales_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C: without the seconds") << u"C"_s << u"Last run 14:05"_s;
        QTest::newRow("fi_FI") << u"fi_FI"_s << u"Last run 14.05"_s;
    }

    void lastRunInOtherLocales()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        SpeedResult result = speed(10, {}, {});
        result.date =
            Timestamp::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 59), Qt::LocalTime));
        QCOMPARE(PopoverTexts::lastRun(result, QLocale(locale)), expected);
    }
};

QTEST_GUILESS_MAIN(TestPopoverTexts)
#include "tst_popovertexts.moc"
