#include "placement.h"
#include "settingsstore.h"
#include "shownvalues.h"
#include "speedtexts.h"
#include "traffictexts.h"
#include "trayimage/speedimage.h"
#include "trayimage/squarerates.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace velmora;
using namespace Qt::StringLiterals;

using Geo = std::optional<GeoInfo>;
using Unit = Preferences::SpeedUnit;

Q_DECLARE_METATYPE(velmora::ScreenArea)

namespace {

const QString emDash = u"\u2014"_s;

SpeedResult speed(std::optional<double> latency, std::optional<double> download = {},
                  std::optional<double> upload = {})
{
    SpeedResult result{.latencyMs = latency, .downloadMbps = download, .uploadMbps = upload};
    result.date =
        Timestamp::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 59), Qt::LocalTime));
    return result;
}

} // namespace

// The rules of the popover and the tray item, as plain functions: their texts (each checked here
// once; tst_popoverview checks only where the popover's go), the order of the rates in the wide
// picture, and the popover's place.
class TestUiRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        using namespace Shown;
        const Geo full = GeoInfo{.ip = u"203.0.113.1"_s, .country = u"Germany"_s};
        const auto row = [](const char *tag, const QString &text, const QString &expected) {
            QTest::newRow(tag) << text << expected;
        };
        // The record shown: the loaded one, else (loading, failed) the earlier one.
        const Geo earlier = GeoInfo{.ip = u"198.51.100.2"_s};
        row("shown: failed keeps the earlier",
            currentGeo(GeoState::failed(u"x"_s), earlier).value_or(GeoInfo()).ip, earlier->ip);

        row("title: country, even offline", title(full, false), u"Germany"_s);
        row("subtitle: empty city", subtitle(GeoInfo{.ip = u"203.0.113.1"_s}), emDash);
        row("isp: empty isp", isp(GeoInfo{.asn = u"AS3320"_s}), u"AS3320"_s);
        row("dns: none", dns({}), emDash);
        row("dns: five, the first three, one per line",
            dns({u"192.0.2.1"_s, u"2001:db8::2"_s, u"192.0.2.3"_s, u"192.0.2.4"_s, u"192.0.2.5"_s}),
            u"192.0.2.1\n2001:db8::2\n192.0.2.3"_s);

        // Figures: "latency|download|upload".
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        Preferences prefs(store);
        const auto figures = [&prefs](const std::optional<SpeedResult> &result) {
            return QStringList{latency(result), download(result, prefs), upload(result, prefs)}
                .join(u'|');
        };
        row("figures: 12.6 ms rounds up, bits", figures(speed(12.6, 300, 40)),
            u"13 ms|300.0 Mbps|40.0 Mbps"_s);

        row("status: idle, the last run's local time, short",
            speedStatus(SpeedPhase::idle, speed(1)), u"Last run 14:05"_s);

        // The traffic graph's scale: 1, 2 or 5 of a unit, never under 1 K.
        const auto scale = [](double bytesPerSecond, Unit unit) {
            const TrafficScale scale = trafficScale(bytesPerSecond, unit);
            return scale.label + u'=' + QString::number(scale.ceiling);
        };
        row("scale: no traffic", scale(0, Unit::bits), u"1 Kb/s=125"_s);
        row("scale: just at a step", scale(250'000, Unit::bits), u"2 Mb/s=250000"_s);

        // The tray item's: the compact rates of its square picture, and its tool tip.
        row("not a number", compactRate(std::nan(""), Unit::bits), u"0K"_s);
        row("one decimal below ten", compactRate(512, Unit::bits), u"4.1K"_s);
        row("rounds up to the next prefix", compactRate(124'995, Unit::bits), u"1.0M"_s);
        row("tool tip", toolTip(*full), u"Germany · 203.0.113.1"_s);

        // The wide picture's rows, top first, by their arrows.
        const auto arrows = [](const SpeedImageSettings &settings) {
            QString rows;
            for (const QList<RateEntry> &row : layoutSpeedImage(1000, 2000, settings).rows) {
                for (const RateEntry &entry : row)
                    rows += entry.arrow;
                rows += u'|';
            }
            return rows;
        };
        using enum Preferences::ButtonStyle;
        row("picture: two lines, download on top", arrows({}), u"↓|↑|"_s);
        row("picture: one line, upload first",
            arrows({.uploadOnTop = true, .buttonStyle = singleLine}), u"↑↓|"_s);
        row("picture: download alone, one line",
            arrows({.bandwidthData = Preferences::BandwidthData::download}), u"↓|"_s);
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void placement_data()
    {
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QList<QRect>>("reserved");
        QTest::addColumn<QRect>("reported"); // 1×1: a click point; null: none known
        QTest::addColumn<QPoint>("expected");
        QTest::addColumn<bool>("toast");
        QTest::addColumn<std::optional<QPoint>>("pointer");

        // 1280×800 screens; a popover of 320×400 kept 6 px inside, 4 px off the item.
        const QRect screen(0, 0, 1280, 800);
        const auto row = [&](const char *name, const QRect &available, const QList<QRect> &reserved,
                             const QRect &anchor, QPoint expected, bool toast = false,
                             const QList<ScreenArea> &more = {},
                             std::optional<QPoint> pointer = {}) {
            QTest::newRow(name) << QList{ScreenArea{screen, available}} + more << reserved << anchor
                                << expected << toast << pointer;
        };
        const auto click = [](int x, int y) { return QRect(x, y, 1, 1); };
        row("top panel of the available area: below it, pushed left", QRect(0, 30, 1280, 770), {},
            click(1200, 12), {954, 36});
        row("right panel, near the bottom: pushed up", QRect(0, 0, 1240, 800), {}, click(1260, 780),
            {914, 394});
        // No window manager sets the available area; the panel's strut still tells its extent.
        row("item rectangle in a bottom strut", screen, {QRect(0, 776, 1280, 24)},
            QRect(700, 778, 24, 20), {552, 372});
        // A pointer mid-screen, no room on either side of it: over it, on the screen.
        row("no room: bare click mid-screen", screen, {}, click(640, 400), {481, 6});
        const QRect second(1280, 0, 1920, 1080);
        row("second screen, bottom panel", QRect(0, 30, 1280, 770), {}, click(3100, 1065),
            {2874, 644}, false, {ScreenArea{second, second.adjusted(0, 0, 0, -30)}});
        // Some hosts now and then report a point at the screen's other edge: the pointer, on the
        // panel, tells where the item is.
        row("click reported far from the panel: at the pointer", QRect(0, 0, 1280, 756), {},
            click(1072, 21), {913, 350}, false, {}, QPoint(1072, 777));

        // The new-address card, 280×60: centred on the item's exact middle 6 px below it (across
        // the panel's whole height for a click point), 8 px inside the available area along the
        // panel. Where nothing tells of the item: the end of the panel where trays sit.
        const QRect topPanel(0, 28, 1280, 772);
        row("card: odd width, half a pixel right", topPanel, {}, QRect(600, 2, 41, 24), {481, 34},
            true);
        row("card: unknown, bottom strut", screen, {QRect(0, 756, 1280, 44)}, QRect(), {992, 690},
            true);
    }

    void placement()
    {
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QList<QRect>, reserved);
        QFETCH(QRect, reported);
        QFETCH(QPoint, expected);
        QFETCH(bool, toast);
        QFETCH(std::optional<QPoint>, pointer);
        // The card is placed by the item's rectangle alone; the popover where it was clicked.
        const QRect anchor = toast ? reported : clickAnchor(reported, pointer, screens, reserved);
        const QSize size = toast ? QSize(280, 60) : QSize(320, 400);
        QCOMPARE(toast ? placeNearTray(anchor, size, screens, reserved, toastSpacing)
                       : placeBeside(anchor, size, screens, reserved, popoverSpacing),
                 expected);
    }
};

QTEST_MAIN(TestUiRules)
#include "tst_uirules.moc"
