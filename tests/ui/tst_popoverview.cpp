#include "flag.h"
#include "pixels.h"
#include "popover/popoverview.h"
#include "popover/spinner.h"
#include "popover/trafficgraph.h"
#include "symbols.h"
#include "viewsetup.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Theme = Preferences::Theme;

namespace {

const QString emDash = u"\u2014"_s;
const QString address = u"203.0.113.1"_s;

// A full ipwho.is record for address.
QByteArray fullRecord(const QString &address)
{
    return QStringLiteral(
               R"({"success":true,"ip":"%1","country":"Germany","country_code":"DE",)"
               R"("city":"Berlin","connection":{"asn":3320,"isp":"Deutsche Telekom AG"},)"
               R"("timezone":{"id":"Europe/Berlin"}})")
        .arg(address)
        .toUtf8();
}

// The texts themselves are checked as plain functions (tst_uirules); here, where they go.
struct Setup : fakes::ViewSetup<PopoverView>
{
    int settingsOpened = 0;

    void start()
    {
        AppModel::Timings timings = fakes::quickTimings();
        timings.trafficInterval = 5ms; // a sample only when the test moves the clock on
        AppModel::Services services = rig.services(timings);
        services.client = fakes::scriptedClient(rig.lookups, fullRecord);
        ViewSetup::start(std::move(services), [this] { ++settingsOpened; });
    }
    bool waitUntilIdle() const { return fakes::waitUntilIdle(*model); }
    // Samples of the given rates, a second apart.
    bool sampleTraffic(int seconds, quint64 download, quint64 upload)
    {
        QSignalSpy sampled(model.get(), &AppModel::trafficHistoryChanged);
        for (int i = 0; i < seconds; ++i) {
            rig.clockSeconds += 1;
            CounterPair &eth0 = rig.interfaces->m_counters[u"eth0"_s];
            eth0 = {.rx = eth0.rx + download, .tx = eth0.tx + upload};
            if (!sampled.wait(1000))
                return false;
        }
        return true;
    }
    bool waitForTestEnd() const
    {
        return QTest::qWaitFor([this] { return model->speedPhase() == SpeedPhase::idle; }, 5000);
    }
};

} // namespace

class TestPopoverView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // A record's way onto the screen: the placeholders, a failed first lookup, a refresh and a
    // copy. (A failed refresh, which keeps the record, is in the screenshots.)
    void geoJourney()
    {
        Setup s;
        s.rig.lookups->delay = 1s; // well past the window showing
        s.rig.lookups->addresses = {QString(), address};
        s.start();

        QVERIFY(s.model->isRefreshing());
        QCOMPARE(s.texts({u"flag"_s, u"title"_s, u"publicIP"_s}),
                 Flag::loading() + u"|Locating\u2026|"_s + emDash);
        QVERIFY(s.get<Spinner>(u"refreshSpinner"_s).isSpinning());
        QCOMPARE(s.enabled({u"refreshButton"_s}) + s.shown({u"geoNotice"_s, u"vpnBadge"_s}),
                 u"000"_s);
        s.click(u"copyButton"_s); // no record yet: nothing to copy
        QVERIFY(s.rig.clipboard->m_text.isEmpty());
        const int heightBefore = s.view->height();

        QVERIFY(s.waitUntilIdle());
        QCOMPARE(s.texts({u"flag"_s, u"geoNotice"_s}),
                 Flag::offline() + u'|' + s.model->geoState().message());
        QCOMPARE(s.shown({u"geoNotice"_s, u"refreshSpinner"_s}) + s.enabled({u"refreshButton"_s}),
                 u"101"_s);
        // The notice makes the popover taller, its width stays; it shrinks when the notice goes.
        QTRY_VERIFY(s.view->height() > heightBefore);
        QCOMPARE(s.view->width(), PopoverView::fixedWidth);
        const int withNotice = s.view->height();
        s.rig.lookups->delay = 20ms;
        s.click(u"refreshButton"_s);
        QVERIFY(s.waitUntilIdle());
        QTRY_VERIFY(s.view->height() < withNotice);
        QCOMPARE(s.view->height(), s.view->sizeHint().height());

        s.click(u"copyButton"_s);
        QCOMPARE(s.rig.clipboard->m_text, address);
        QCOMPARE(s.text(u"publicIP"_s), u"Copied"_s);
        QCOMPARE(s.get<SymbolImage>(u"copySymbol"_s).symbol(), u"checkmark"_s);
        QTRY_COMPARE_WITH_TIMEOUT(s.text(u"publicIP"_s), address, 3000);
        QCOMPARE(s.get<SymbolImage>(u"copySymbol"_s).symbol(), u"doc.on.doc"_s);
    }

    // The Run test button needs the network; the card shows each step of a run, its figures
    // in the unit chosen, and a failure.
    void speedCard()
    {
        Setup s;
        s.rig.speed->m_outcomes = {12.6, 300.0, 40.0, 20.0}; // the second run: latency only
        s.start();
        QCOMPARE(s.shown({u"speedSpinner"_s, u"speedStatus"_s}), u"00"_s);
        s.rig.monitor->report({.satisfied = false});
        QCOMPARE(s.texts({u"flag"_s, u"title"_s}), Flag::offline() + u"|Offline"_s);
        QCOMPARE(s.enabled({u"runTestButton"_s}), u"0"_s);
        // In colour, from the emoji font, not a text font's outline.
        QVERIFY(pixels::anyPixel(s.get(u"flag"_s).grab().toImage(),
                                 [](QRgb pixel) { return QColor(pixel).hsvSaturation() > 150; }));
        s.rig.monitor->report({.satisfied = true, .usesWiredEthernet = true});
        QCOMPARE(s.text(u"title"_s), u"Locating\u2026"_s);
        QCOMPARE(s.enabled({u"runTestButton"_s}), u"1"_s);

        // What the status line, its spinner and the button show at each step of a run, seen
        // right after the view has taken the step in (it was connected first).
        QStringList seen;
        connect(s.model.get(), &AppModel::speedPhaseChanged, this, [&s, &seen] {
            if (s.model->speedPhase() != SpeedPhase::idle)
                seen << s.text(u"speedStatus"_s) + s.shown({u"speedSpinner"_s}) +
                            s.enabled({u"runTestButton"_s});
        });
        for (int run = 0; run < 2; ++run) { // the second replaces the first's "Last run"
            seen.clear();
            s.click(u"runTestButton"_s);
            QVERIFY(s.waitForTestEnd());
            // Status, spinner shown, button enabled.
            QCOMPARE(seen,
                     (QStringList{u"Measuring latency\u202610"_s, u"Testing download\u202610"_s,
                                  u"Testing upload\u202610"_s}));
            QVERIFY(s.text(u"speedStatus"_s).startsWith(u"Last run "_s));
            QCOMPARE(s.shown({u"speedSpinner"_s, u"speedNotice"_s}) +
                         s.enabled({u"runTestButton"_s}),
                     run == 1 ? u"011"_s : u"001"_s);
            if (run == 0) { // a new unit changes the figures at once
                s.prefs.setSpeedUnit(Preferences::SpeedUnit::bytes);
                QCOMPARE(s.texts({u"download"_s, u"upload"_s}), u"37.5 MB/s|5.0 MB/s"_s);
            }
        }
        QCOMPARE(s.texts({u"latency"_s, u"download"_s, u"speedNotice"_s}),
                 u"20 ms|"_s + emDash + u"|Failed: download, upload"_s);
    }

    // The popover as a user sees it in each theme: screenshots, and what can be read back from
    // the pixels.
    void looksRight_data() { fakes::addThemeRows(); }

    void looksRight()
    {
        QFETCH(Theme, theme);
        const fakes::ThemedApplication themed(theme);
        Setup s;
        s.rig.lookups->addresses = {address, QString()};
        s.rig.interfaces->m_addresses = {{u"eth0"_s, u"192.168.1.20"_s}, {u"wg0"_s, u"10.8.0.2"_s}};
        s.rig.dns->m_servers = {u"192.0.2.1"_s, u"2001:db8::53"_s, u"192.0.2.3"_s, u"192.0.2.4"_s};
        s.rig.routes->m_interfaces = {{u"192.0.2.1"_s, u"wg0"_s}, {u"2001:db8::53"_s, u"eth0"_s}};
        s.rig.speed->m_outcomes = {12.6};
        s.start();
        s.rig.monitor->report({.satisfied = true, .usesWiredEthernet = true});
        QVERIFY(s.waitUntilIdle());
        s.click(u"refreshButton"_s);
        QVERIFY(s.waitUntilIdle());
        s.click(u"runTestButton"_s);
        QVERIFY(s.waitForTestEnd());
        // A minute of 8 Mb/s down and 2 Mb/s up, on a scale to 10 Mb/s; without live speeds
        // the first seconds say when the graph fills.
        s.prefs.setShowLiveSpeed(false);
        s.model->setTrafficMonitoring(true);
        QVERIFY(s.sampleTraffic(9, 1'000'000, 250'000));
        QCOMPARE(s.text(u"trafficCaption"_s), u"Shown while the popover is open"_s);
        QVERIFY(s.sampleTraffic(51, 1'000'000, 250'000));
        QCOMPARE(s.text(u"trafficCaption"_s), u"Peak \u2193 8.0 Mb/s  \u2191 2.0 Mb/s"_s);
        QTest::qWait(20); // the last layout request
        pixels::saveArtifact(s.view.get(), u"popover-%1.png"_s.arg(Preferences::rawValue(theme)));

        // The other texts are read by the end-to-end test.
        QCOMPARE(s.texts({u"localIP"_s, u"dns"_s}),
                 u"192.168.1.20|192.0.2.1\n2001:db8::53\n192.0.2.3"_s);
        QCOMPARE(s.shown({u"geoNotice"_s, u"vpnBadge"_s, u"dnsNotice"_s}), u"111"_s);
        QCOMPARE(s.get(u"dns"_s).accessibleDescription(), u"2001:db8::53 through eth0"_s);
        QVERIFY(s.get(u"geoNotice"_s).mapToGlobal(QPoint()).y() <
                s.get(u"copyButton"_s).mapToGlobal(QPoint()).y());
        QCOMPARE(s.get<QLabel>(u"dns"_s).text(), s.text(u"dns"_s)); // three lines fit
        QVERIFY(s.get(u"vpnBadge"_s).geometry().right() < s.get(u"connection"_s).geometry().left());
        // Each row's label sits on the first baseline of its value, whatever the value's font.
        const auto baseline = [&s](const QLabel *label) {
            return label->mapTo(s.view.get(), label->contentsRect().topLeft()).y() +
                   QFontMetrics(label->font()).ascent();
        };
        for (const Row *row : s.view->findChildren<Row *>()) {
            const QString name = row->label()->text();
            const QLabel *value = qobject_cast<const QLabel *>(row->value());
            if (name == u"Public IP"_s || name == u"Connection"_s)
                value = &s.get<QLabel>(name == u"Public IP"_s ? u"publicIP"_s : u"connection"_s);
            QVERIFY2(value, qPrintable(name));
            QVERIFY2(qAbs(baseline(row->label()) - baseline(value)) <= 1, qPrintable(name));
            QVERIFY2(value->geometry().right() <= row->width(), qPrintable(name));
        }

        // "Quit" in the small control size of "Run test".
        QCOMPARE(s.get(u"quitButton"_s).height(), s.get(u"runTestButton"_s).height());
        // The copy symbol draws 12 pixels or more (its shape leaves a pixel either side).
        const QImage copy = pixels::grab(&s.get(u"copySymbol"_s));
        const QRect copyInk = pixels::inkBounds(copy, copy.pixel(0, 0));
        QVERIFY2(copyInk.width() >= 10 && copyInk.height() >= 10,
                 qPrintable(u"%1×%2"_s.arg(copyInk.width()).arg(copyInk.height())));
        // Some room between the gear and "Settings…": blank columns after the gear's.
        const QImage settings = pixels::grab(&s.get(u"settingsButton"_s));
        QString columns;
        for (int x = 0; x < settings.width(); ++x)
            columns +=
                pixels::inkBounds(settings.copy(x, 0, 1, settings.height()), settings.pixel(0, 0))
                        .isEmpty()
                    ? u'.'
                    : u'#';
        QVERIFY2(QRegularExpression(u"^\\.*#+\\.{3}"_s).match(columns).hasMatch(),
                 qPrintable(columns));

        // The curves read back from the pixels: where the minute lies, download at 80 % of the
        // plot's height and upload at 20 %, each 3:1 or more against the card; nothing before.
        auto &graph = s.get<TrafficGraph>(u"trafficGraph"_s);
        const QImage shot = pixels::grab(s.view.get())
                                .copy(QRect(graph.mapTo(s.view.get(), QPoint()), graph.size()));
        const int top = graph.fontMetrics().height() + 2, height = graph.height() - top;
        const QRgb card = shot.pixel(4, top + height / 2);
        const auto drawnNear = [&](qreal share, const QColor &color, int x) {
            const int y = top + qRound(height * (1 - share));
            for (int row = y - 2; row <= y + 2; ++row) {
                const QColor seen = shot.pixelColor(x, row);
                if (qAbs(seen.red() - color.red()) + qAbs(seen.green() - color.green()) +
                        qAbs(seen.blue() - color.blue()) <
                    40)
                    return pixels::contrast(seen.rgb(), card) >= 3;
            }
            return false;
        };
        const int minuteAgo = graph.width() - graph.width() * 59 / 299;
        const QColor download = TrafficGraph::downloadColor(graph.palette());
        const QColor upload = TrafficGraph::uploadColor(graph.palette());
        for (const int x : {minuteAgo + 5, graph.width() - 5}) {
            QVERIFY2(drawnNear(0.8, download, x), qPrintable(QString::number(x)));
            QVERIFY2(drawnNear(0.2, upload, x), qPrintable(QString::number(x)));
        }
        QVERIFY(!drawnNear(0.8, download, minuteAgo - 5) && !drawnNear(0.2, upload, minuteAgo - 5));

        s.click(u"settingsButton"_s);
        QCOMPARE(s.settingsOpened, 1);
    }

    void wrappingLabelKeepsToItsLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maximumLines");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cut");

        const QString words = u"Lookup failed: ipwho.is: Host unreachable; ipapi.co: Host "
                              "unreachable; and then some more words to wrap"_s;
        QTest::newRow("long, no limit") << words << 0 << 5 << false;
        QTest::newRow("long, three lines") << words << 3 << 3 << true;
        QTest::newRow("one long word wraps inside it")
            << u"2001:0db8:85a3:0000:0000:8a2e:0370:7334"_s << 3 << 3 << false;
    }

    void wrappingLabelKeepsToItsLines()
    {
        QFETCH(QString, text);
        QFETCH(int, maximumLines);
        QFETCH(int, lines);
        QFETCH(bool, cut);

        WrappingLabel label;
        label.setFont(QFont(u"DejaVu Sans"_s, 9));
        // Narrow enough for a handful of characters per line.
        label.resize(label.fontMetrics().horizontalAdvance(u"2001:0db8:85a3:"_s), 100);
        label.setMaximumLines(maximumLines);
        label.setFullText(text);
        const QString shown = label.text();
        const qsizetype count = shown.count(u'\n') + 1;
        QVERIFY2(count >= lines && (maximumLines == 0 || count <= maximumLines), qPrintable(shown));
        QCOMPARE(shown.endsWith(u'\u2026'), cut);
        if (!cut) { // nothing lost but the spaces and line feeds where lines break
            const QRegularExpression space(u"\\s"_s);
            QCOMPARE(QString(shown).remove(space), QString(text).remove(space));
        }
        QCOMPARE(label.fullText(), text);
        QCOMPARE(label.accessibleName(), text);
    }

    // Every symbol draws, from the theme or the bundled SVG, in nothing but the colour asked; as
    // a button icon, the disabled one in another colour.
    void symbolsDrawInTheColourAsked()
    {
        const QRgb orange = qRgb(0xFF, 0x9F, 0x0A);
        for (const QString &name : {u"arrow.clockwise"_s, u"network"_s, u"doc.on.doc"_s,
                                    u"exclamationmark.triangle.fill"_s, u"checkmark"_s,
                                    u"speedometer"_s, u"gearshape"_s}) {
            const QImage image =
                symbolPixmap(name, 32, orange).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(32, 32));
            double alpha = 0;
            const bool foreign = pixels::anyPixel(image, [&](QRgb pixel) {
                alpha += qAlpha(pixel) / 255.0;
                // Edges blended from premultiplied pixels round off their colour.
                const auto off = [](int a, int b) { return qAbs(a - b) > 2; };
                return qAlpha(pixel) >= 128 &&
                       (off(qRed(pixel), qRed(orange)) || off(qGreen(pixel), qGreen(orange)) ||
                        off(qBlue(pixel), qBlue(orange)));
            });
            QVERIFY2(!foreign && alpha > 32 * 32 / 20, qPrintable(name));
            const QIcon icon = symbolIcon(name);
            QVERIFY(icon.pixmap(16, QIcon::Disabled).toImage() !=
                    icon.pixmap(16, QIcon::Normal).toImage());
        }
    }
};

QTEST_MAIN(TestPopoverView)
#include "tst_popoverview.moc"
