#include "popover/popovertexts.h"
#include "preferences.h"
#include "settingsstore.h"
#include "trayimage/squarerates.h"
#include "trayimage/statustooltip.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace velmora;
using namespace Qt::StringLiterals;

using Geo = std::optional<GeoInfo>;
using Unit = Preferences::SpeedUnit;

namespace {

const QString emDash = u"\u2014"_s;

GeoInfo record(const QString &ip, const QString &city = u"Berlin"_s,
               const QString &isp = u"Deutsche Telekom AG"_s, const QString &asn = u"AS3320"_s)
{
    return {.ip = ip,
            .country = u"Germany"_s,
            .countryCode = u"DE"_s,
            .city = city,
            .isp = isp,
            .asn = asn,
            .timezone = city.isEmpty() ? QString() : u"Europe/Berlin"_s};
}

SpeedResult speed(std::optional<double> latency, std::optional<double> download = {},
                  std::optional<double> upload = {})
{
    SpeedResult result{.latencyMs = latency, .downloadMbps = download, .uploadMbps = upload};
    result.date =
        Timestamp::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 59), Qt::LocalTime));
    return result;
}

} // namespace

// The popover's and the tray item's texts, each checked here once;
// tst_popoverview checks only where the popover's go.
class TestPopoverTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        using namespace PopoverTexts;
        const Geo full = record(u"203.0.113.1"_s), none;
        const Geo bare = record(u"203.0.113.1"_s, {}, {}, {});
        const auto row = [](const char *tag, const QString &text, const QString &expected) {
            QTest::newRow(tag) << text << expected;
        };
        // The record shown: the loaded one, else (loading, failed) the earlier one.
        const Geo earlier = record(u"198.51.100.2"_s);
        const auto shown = [&earlier](const GeoState &state) {
            return currentGeo(state, earlier).value_or(GeoInfo()).ip;
        };
        row("shown: loaded", shown(GeoState::loaded(*full)), u"203.0.113.1"_s);
        row("shown: failed keeps the earlier", shown(GeoState::failed(u"x"_s)), u"198.51.100.2"_s);

        row("title: country, even offline", title(full, false), u"Germany"_s);
        row("title: no record, online", title(none, true), u"Locating\u2026"_s);
        row("title: no record, offline", title(none, false), u"Offline"_s);
        row("subtitle: city", subtitle(full), u"Berlin"_s);
        row("subtitle: empty city", subtitle(bare), emDash);
        row("ip", publicIP(full, false), u"203.0.113.1"_s);
        row("ip: copied", publicIP(full, true), u"Copied"_s);
        row("ip: no record", publicIP(none, false), emDash);
        row("isp: both", isp(full), u"Deutsche Telekom AG \u00B7 AS3320"_s);
        row("isp: empty isp", isp(record(u"1"_s, {}, {}, u"AS3320"_s)), u"AS3320"_s);
        row("isp: neither", isp(bare), emDash);
        row("isp: no record", isp(none), emDash);
        row("timezone", PopoverTexts::timezone(full), u"Europe/Berlin"_s);
        row("timezone: empty", PopoverTexts::timezone(bare), emDash);
        row("dns: none", dns({}), emDash);
        row("dns: five, the first three, one per line",
            dns({u"192.0.2.1"_s, u"2001:db8::2"_s, u"192.0.2.3"_s, u"192.0.2.4"_s, u"192.0.2.5"_s}),
            u"192.0.2.1\n2001:db8::2\n192.0.2.3"_s);

        // Figures: "latency|download|upload".
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        Preferences prefs(store);
        const auto figures = [&prefs](const std::optional<SpeedResult> &result, Unit unit) {
            prefs.setSpeedUnit(unit);
            return QStringList{latency(result), download(result, prefs), upload(result, prefs)}
                .join(u'|');
        };
        row("figures: no result", figures({}, Unit::bits), QStringList(3, emDash).join(u'|'));
        row("figures: 12.6 ms rounds up, bits", figures(speed(12.6, 300, 40), Unit::bits),
            u"13 ms|300.0 Mbps|40.0 Mbps"_s);
        row("figures: bytes", figures(speed(12.4, 300, 40), Unit::bytes),
            u"12 ms|37.5 MB/s|5.0 MB/s"_s);
        row("figures: ties go to even, like printf", figures(speed(12.5), Unit::bits),
            u"12 ms|"_s + emDash + u'|' + emDash);
        row("figures: only the latency failed", figures(speed({}, 0.26, 1), Unit::bits),
            emDash + u"|0.3 Mbps|1.0 Mbps"_s);

        row("status: idle, no result", speedStatus(SpeedPhase::idle, {}), QString());
        row("status: idle, the last run's local time, short",
            speedStatus(SpeedPhase::idle, speed(1)), u"Last run 14:05"_s);
        row("status: running hides the last run", speedStatus(SpeedPhase::download, speed(1)),
            u"Testing download\u2026"_s);
        row("last run in another locale", lastRun(speed(1), QLocale(u"fi_FI"_s)),
            u"Last run 14.05"_s);

        // The tray item's: the compact rates of its square picture, and its tool
        // tip.
        row("not a number", compactRate(std::nan(""), Unit::bits), u"0K"_s);
        row("one decimal below ten", compactRate(512, Unit::bits), u"4.1K"_s);
        row("rounds up to ten", compactRate(1246, Unit::bits), u"10K"_s);
        row("hundreds", compactRate(57'000, Unit::bits), u"456K"_s);
        row("rounds up to the next prefix", compactRate(124'995, Unit::bits), u"1.0M"_s);
        row("mega, bytes", compactRate(12'300'000, Unit::bytes), u"12M"_s);
        row("tera caps", compactRate(5e15, Unit::bytes), u"5000T"_s);

        GeoInfo located{.ip = u"203.0.113.42"_s, .country = u"Germany"_s};
        row("tool tip", statusToolTip(located), u"Germany · 203.0.113.42"_s);
        row("tool tip without a record", statusToolTip({}), u"Velmora"_s);
        located.country.clear();
        row("tool tip without a country", statusToolTip(located), u"203.0.113.42"_s);
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
