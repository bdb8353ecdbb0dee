#include "flag.h"
#include "pixels.h"
#include "popover/popoverview.h"
#include "popover/trafficgraph.h"
#include "viewsetup.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Theme = Preferences::Theme;

namespace {

const QString emDash = u"\u2014"_s;
const QString address = u"203.0.113.1"_s;

// The texts themselves are checked as plain functions (tst_uirules); here, where they go.
struct Setup : fakes::ViewSetup<PopoverView>
{
    int settingsOpened = 0;

    void start()
    {
        AppModel::Timings timings = fakes::quickTimings();
        timings.trafficInterval = 5ms; // a sample only when the test moves the clock on
        ViewSetup::start(rig.services(timings), [this] { ++settingsOpened; });
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
    // copy.
    void geoJourney()
    {
        Setup s;
        s.rig.lookups->delay = 1s; // well past the window showing
        s.rig.lookups->addresses = {QString(), address};
        s.start();

        QCOMPARE(s.texts({u"flag"_s, u"title"_s, u"publicIP"_s}),
                 Flag::loading() + u"|Locating\u2026|"_s + emDash);
        s.click(u"copyButton"_s); // no record yet: nothing to copy
        QVERIFY(s.rig.clipboard->m_text.isEmpty());
        const int heightBefore = s.view->height();

        QVERIFY(s.waitUntilIdle());
        QCOMPARE(s.texts({u"flag"_s, u"geoNotice"_s}),
                 Flag::offline() + u'|' + s.model->geoState().message());
        // The notice makes the popover taller; it shrinks to its size hint when the notice goes.
        QTRY_VERIFY(s.view->height() > heightBefore);
        const int withNotice = s.view->height();
        s.rig.lookups->delay = 20ms;
        s.click(u"refreshButton"_s);
        QVERIFY(s.waitUntilIdle());
        QTRY_VERIFY(s.view->height() < withNotice);
        QCOMPARE(s.view->height(), s.view->sizeHint().height());

        s.click(u"copyButton"_s);
        QCOMPARE(s.rig.clipboard->m_text, address);
        QCOMPARE(s.text(u"publicIP"_s), u"Copied"_s);
        QTRY_COMPARE_WITH_TIMEOUT(s.text(u"publicIP"_s), address, 3000);
    }

    // The Run test button needs the network; the card shows each step of a run, its figures
    // in the unit chosen, and a failure.
    void speedCard()
    {
        Setup s;
        s.rig.speed->m_outcomes = {12.6, 300.0, 40.0, 20.0}; // the second run: latency only
        s.start();
        s.rig.monitor->report({.satisfied = false});
        QCOMPARE(s.texts({u"flag"_s, u"title"_s}), Flag::offline() + u"|Offline"_s);
        QCOMPARE(s.enabled({u"runTestButton"_s}), u"0"_s);
        s.rig.monitor->report({.satisfied = true, .usesWiredEthernet = true});

        // The status line at each step of a run, seen right after the view has taken the step
        // in (it was connected first).
        QStringList seen;
        connect(s.model.get(), &AppModel::speedPhaseChanged, this, [&s, &seen] {
            if (s.model->speedPhase() != SpeedPhase::idle)
                seen << s.text(u"speedStatus"_s);
        });
        s.click(u"runTestButton"_s);
        QVERIFY(s.waitForTestEnd());
        QCOMPARE(seen, (QStringList{u"Measuring latency\u2026"_s, u"Testing download\u2026"_s,
                                    u"Testing upload\u2026"_s}));
        QVERIFY(s.text(u"speedStatus"_s).startsWith(u"Last run "_s));
        // A new unit changes the figures at once; a second run replaces the first's.
        s.prefs.setSpeedUnit(Preferences::SpeedUnit::bytes);
        QCOMPARE(s.texts({u"download"_s, u"upload"_s}), u"37.5 MB/s|5.0 MB/s"_s);
        s.click(u"runTestButton"_s);
        QVERIFY(s.waitForTestEnd());
        QCOMPARE(s.texts({u"latency"_s, u"download"_s, u"speedNotice"_s}),
                 u"20 ms|"_s + emDash + u"|Failed: download, upload"_s);
    }

    // The popover's traffic graph as a user sees it in each theme: screenshots, and the curves
    // read back from the pixels.
    void looksRight_data() { fakes::addThemeRows(); }

    void looksRight()
    {
        QFETCH(Theme, theme);
        const fakes::ThemedApplication themed(theme);
        Setup s;
        s.rig.lookups->addresses = {address};
        s.start();
        QVERIFY(s.waitUntilIdle());
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

    // A label kept to three lines: long text cut short at the end, one long word wrapped inside
    // it and shown whole; a reader gets the whole text either way.
    void wrappingLabelKeepsToItsLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        QTest::newRow("long, three lines") << u"Lookup failed: ipwho.is: Host unreachable; "
                                              "ipapi.co: Host unreachable; and then some more"_s
                                           << true;
        QTest::newRow("one long word wraps inside it")
            << u"2001:0db8:85a3:0000:0000:8a2e:0370:7334"_s << false;
    }

    void wrappingLabelKeepsToItsLines()
    {
        QFETCH(QString, text);
        QFETCH(bool, cut);
        WrappingLabel label;
        label.setFont(QFont(u"DejaVu Sans"_s, 9));
        // Narrow enough for a handful of characters per line.
        label.resize(label.fontMetrics().horizontalAdvance(u"2001:0db8:85a3:"_s), 100);
        label.setMaximumLines(3);
        label.setFullText(text);
        const QString shown = label.text();
        QCOMPARE(shown.count(u'\n'), 2);
        QCOMPARE(shown.endsWith(u'\u2026'), cut);
        if (!cut) // nothing lost but the line feeds where lines break
            QCOMPARE(QString(shown).remove(u'\n'), text);
        QCOMPARE(label.accessibleName(), text);
    }
};

QTEST_MAIN(TestPopoverView)
#include "tst_popoverview.moc"
