#include "popovertexts.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

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

SpeedResult ranAt1405()
{
    SpeedResult result = speed(10, 20, 30);
    result.date =
        Timestamp::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 59), Qt::LocalTime));
    return result;
}

} // namespace

class TestPopoverTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // Each row: the text a function gave, and the one expected.
    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        using namespace PopoverTexts;
        const Geo full = record(u"203.0.113.1"_s), none;
        const Geo bare = record(u"203.0.113.1"_s, {}, {}, {}, {});
        const auto row = [](const char *tag, const QString &text, const QString &expected) {
            QTest::newRow(tag) << text << expected;
        };
        // The record shown: the current one, else the earlier one, else none.
        const auto shown = [](const GeoState &state, const Geo &earlier) {
            const Geo current = currentGeo(state, earlier);
            return current ? current->ip : u"none"_s;
        };
        const Geo earlier = record(u"198.51.100.2"_s);
        const GeoState loaded = GeoState::loaded(*full), failed = GeoState::failed(u"x"_s);
        row("shown: loaded", shown(loaded, earlier), u"203.0.113.1"_s);
        row("shown: failed keeps the earlier record", shown(failed, earlier), u"198.51.100.2"_s);
        row("shown: failed, nothing earlier", shown(failed, none), u"none"_s);
        row("shown: loading keeps the earlier", shown(GeoState::loading(), earlier),
            u"198.51.100.2"_s);

        row("title: country", title(full, true), u"Germany"_s);
        row("title: country, offline", title(full, false), u"Germany"_s);
        row("title: no record, online", title(none, true), u"Locating\u2026"_s);
        row("title: no record, offline", title(none, false), u"Offline"_s);
        row("subtitle: city", subtitle(full), u"Berlin"_s);
        row("subtitle: empty city", subtitle(bare), emDash);
        row("ip", publicIP(full, false), u"203.0.113.1"_s);
        row("ip: copied", publicIP(full, true), u"Copied"_s);
        row("ip: no record", publicIP(none, false), emDash);
        row("ip: copied, no record", publicIP(none, true), u"Copied"_s);
        row("isp: both", isp(full), u"Deutsche Telekom AG \u00B7 AS3320"_s);
        row("isp: empty isp", isp(record(u"1"_s, {}, {}, u"AS3320"_s)), u"AS3320"_s);
        row("isp: empty asn", isp(record(u"1"_s, {}, u"Telekom"_s, {})), u"Telekom"_s);
        row("isp: neither", isp(bare), emDash);
        row("isp: no record", isp(none), emDash);
        row("timezone", PopoverTexts::timezone(full), u"Europe/Berlin"_s);
        row("timezone: empty", PopoverTexts::timezone(bare), emDash);
        row("dns: none", dns({}), emDash);
        row("dns: one", dns({u"192.0.2.53"_s}), u"192.0.2.53"_s);
        row("dns: five, the first three, one per line",
            dns({u"192.0.2.1"_s, u"2001:db8::2"_s, u"192.0.2.3"_s, u"192.0.2.4"_s, u"192.0.2.5"_s}),
            u"192.0.2.1\n2001:db8::2\n192.0.2.3"_s);

        // Figures: "latency download upload" in one text.
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        Preferences prefs(store);
        const auto figures = [&prefs](const Speed &result, Unit unit) {
            prefs.setSpeedUnit(unit);
            return QStringList{latency(result), download(result, prefs), upload(result, prefs)}
                .join(u'|');
        };
        row("figures: no result", figures({}, Unit::bits), QStringList(3, emDash).join(u'|'));
        row("figures: 12.6 ms rounds up, bits", figures(speed(12.6, 300, 40), Unit::bits),
            u"13 ms|300.0 Mbps|40.0 Mbps"_s);
        row("figures: bytes", figures(speed(12.4, 300, 40), Unit::bytes),
            u"12 ms|37.5 MB/s|5.0 MB/s"_s);
        row("figures: ties go to even, like printf", figures(speed(12.5, {}, {}), Unit::bits),
            u"12 ms|"_s + emDash + u'|' + emDash);
        row("figures: 13.5 ties up to 14", figures(speed(13.5, {}, {}), Unit::bits),
            u"14 ms|"_s + emDash + u'|' + emDash);
        row("figures: only the latency failed", figures(speed({}, 0.26, 1), Unit::bits),
            emDash + u"|0.3 Mbps|1.0 Mbps"_s);

        row("status: idle, no result", speedStatus(SpeedPhase::idle, {}), QString());
        row("status: idle with a result, its local time, short",
            speedStatus(SpeedPhase::idle, ranAt1405()), u"Last run 14:05"_s);
        row("status: running hides the last run", speedStatus(SpeedPhase::download, ranAt1405()),
            u"Testing download\u2026"_s);
        row("status: running, first time", speedStatus(SpeedPhase::latency, {}),
            u"Measuring latency\u2026"_s);
        row("last run in another locale", lastRun(ranAt1405(), QLocale(u"fi_FI"_s)),
            u"Last run 14.05"_s);
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestPopoverTexts)
#include "tst_popovertexts.moc"
