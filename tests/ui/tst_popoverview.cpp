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

namespace {

const QString emDash = u"\u2014"_s;
const QString address = u"203.0.113.1"_s;

// The texts themselves are checked as plain functions (tst_uirules); here, where they go.
struct Setup : fakes::ViewSetup<PopoverView>
{
    void start()
    {
        AppModel::Timings timings = fakes::quickTimings();
        timings.trafficInterval = 5ms; // a sample only when the test moves the clock on
        ViewSetup::start(rig.services(timings), [] {});
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

        // The popover grows to hold the notice, and shrinks back once it goes.
        QVERIFY(fakes::waitUntilIdle(*s.model));
        QCOMPARE(s.texts({u"flag"_s, u"geoNotice"_s}),
                 Flag::offline() + u'|' + s.model->geoState().message());
        QTRY_COMPARE(s.view->height(), s.view->sizeHint().height());
        s.rig.lookups->delay = 20ms;
        s.click(u"refreshButton"_s);
        QVERIFY(fakes::waitUntilIdle(*s.model));
        QTRY_COMPARE(s.view->height(), s.view->sizeHint().height());

        s.click(u"copyButton"_s);
        QCOMPARE(s.rig.clipboard->m_text, address);
    }

    // The Run test button needs the network; the card shows when it ran, its figures and a
    // failure. (A new unit's figures are the desktop test's, in the running program.)
    void speedCard()
    {
        Setup s;
        s.rig.speed->m_outcomes = {12.6, 300.0, 40.0, 20.0}; // the second run: latency only
        s.start();
        s.rig.monitor->report({.satisfied = false});
        QCOMPARE(s.texts({u"flag"_s, u"title"_s}), Flag::offline() + u"|Offline"_s);
        QVERIFY(!s.get(u"runTestButton"_s).isEnabled());
        s.rig.monitor->report({.satisfied = true, .usesWiredEthernet = true});
        s.click(u"runTestButton"_s);
        QVERIFY(QTest::qWaitFor([&] { return s.model->speedPhase() == SpeedPhase::idle; }));
        QVERIFY(s.texts({u"speedStatus"_s}).startsWith(u"Last run "_s));
        // A second run replaces the first's figures.
        s.click(u"runTestButton"_s);
        QVERIFY(QTest::qWaitFor([&] { return s.model->speedPhase() == SpeedPhase::idle; }));
        QCOMPARE(s.texts({u"latency"_s, u"download"_s, u"speedNotice"_s}),
                 u"20 ms|"_s + emDash + u"|Failed: download, upload"_s);
    }

    // The popover's traffic graph as a user sees it: the curves read back from the pixels. In the
    // dark theme; the light one draws alike, in its own palette's colours.
    void looksRight()
    {
        const fakes::ThemedApplication themed(Preferences::Theme::dark);
        Setup s;
        s.rig.lookups->addresses = {address};
        s.start();
        QVERIFY(fakes::waitUntilIdle(*s.model));
        // A minute of 8 Mb/s down and 2 Mb/s up, on a scale to 10 Mb/s; without live speeds
        // the caption names the peaks.
        s.prefs.setShowLiveSpeed(false);
        s.model->setTrafficMonitoring(true);
        QSignalSpy sampled(s.model.get(), &AppModel::trafficHistoryChanged);
        for (int second = 0; second < 60; ++second) {
            s.rig.clockSeconds += 1;
            CounterPair &eth0 = s.rig.interfaces->m_counters[u"eth0"_s];
            eth0 = {.rx = eth0.rx + 1'000'000, .tx = eth0.tx + 250'000};
            QVERIFY(sampled.wait(1000));
        }
        QCOMPARE(s.texts({u"trafficCaption"_s}), u"Peak \u2193 8.0 Mb/s  \u2191 2.0 Mb/s"_s);
        QTest::qWait(20); // the last layout request

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
    }
};

QTEST_MAIN(TestPopoverView)
#include "tst_popoverview.moc"
