#include "popover/popoverwindow.h"
#include "settings/settingsview.h"
#include "settingsfollowers.h"
#include "statusbarcontroller.h"
#include "toast/toastwindow.h"
#include "trayitem.h"
#include "viewsetup.h"

#include <QPointer>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Keeps the pictures and tool tip the controller hands to the tray (the label is the
// end-to-end run's, on GNOME's panel); clicks come from the test.
class RecordingTray final : public TrayItem
{
public:
    void setIcon(const QList<QImage> &images) override { icons.append(images); }
    void setToolTip(const QString &text) override { toolTip = text; }
    void setLabel(const QString &, const QString &) override {}
    bool isShown() const override { return shown; }
    TrayRendering rendering() const override { return TrayRendering::Wide; }
    void click() { Q_EMIT activated(QRect(600, 4, 40, 22)); }
    void choose(MenuAction action) { Q_EMIT menuActionTriggered(action); }

    QList<QList<QImage>> icons;
    QString toolTip;
    bool shown = true;
};

struct Setup : fakes::ViewSetup<StatusBarController>
{
    // addresses: how many lookups find an address, a new one each; the lookups after them fail.
    explicit Setup(int addresses = 0)
    {
        for (int i = 1; i <= addresses; ++i)
            rig.lookups->addresses.push_back(u"203.0.113.%1"_s.arg(i));
        start(rig.services({.trafficInterval = 20ms}), tray);
        followLiveSpeed(prefs, *model, *view);
        view->setToastTimings({.fadeIn = 10ms, .onScreen = 400ms, .fadeOut = 50ms});
    }
    // The controller draws into the tray: it goes first.
    ~Setup() { view.reset(); }

    RecordingTray tray;

    // Looks the public address up again and waits for the answer.
    bool lookUp()
    {
        std::ignore = fakes::waitUntilIdle(*model);
        model->refresh();
        return fakes::waitUntilIdle(*model);
    }
    // Lets queued redraws and traffic samples run.
    void settle() { QTest::qWait(100); }
    // eth0 has received so many bytes a second after the last count.
    void count(quint32 received)
    {
        rig.clockSeconds += 1;
        rig.interfaces->m_counters[u"eth0"_s] = {received, 1000};
        settle();
    }
};

} // namespace

class TestStatusBarController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The first picture is wide, at both scales, and follows the settings (the rates, on real
    // panels, are the end-to-end run's); with live speeds off it is the flag alone, and the rates
    // are sampled only while the popover is open, for its graph.
    void picturesFollowSettingsAndRates()
    {
        Setup s;
        QCOMPARE(s.tray.toolTip, u"Velmora"_s);
        const QList<QImage> images = s.tray.icons.last();
        QCOMPARE(images.size(), 2);
        QCOMPARE(images.at(1).width(), 2 * images.at(0).width());
        QVERIFY(images.first().width() > 2 * images.first().height());

        s.prefs.setSpeedUnit(Preferences::SpeedUnit::bytes);
        s.prefs.setButtonStyle(Preferences::ButtonStyle::singleLine);
        s.settle();
        // Two columns side by side now: the picture is wider.
        QVERIFY(s.tray.icons.last().first().width() > images.first().width());

        s.prefs.setShowLiveSpeed(false);
        s.settle();
        const QImage titleOnly = s.tray.icons.last().first();
        QVERIFY(titleOnly.width() < 2 * titleOnly.height());

        // Now the rates are sampled only while the popover is open, for its graph.
        s.view->showPopover();
        s.count(6'000'000);
        s.count(7'000'000);
        QCOMPARE(s.model->downloadRate(), 1e6);
        s.view->popover()->close();
        s.count(8'000'000);
        QCOMPARE(s.model->trafficHistory().size(), 2);
        QCOMPARE(s.model->downloadRate(), 0.0);
    }

    // A click toggles the popover; a second start or the item's menu (on trays that open it
    // instead of clicking) only shows it. Settings replace it, in one window.
    void windows()
    {
        Setup s;
        PopoverWindow *popover = s.view->popover();
        QTRY_VERIFY(s.model->geoState().kind() == GeoState::Kind::failed);
        s.settle();
        s.tray.click();
        QVERIFY(popover->isVisible());
        s.tray.click();
        QVERIFY(!popover->isVisible());
        s.view->showPopover();
        s.tray.choose(TrayItem::MenuAction::ShowPopover);
        QVERIFY(popover->isVisible());

        s.tray.choose(TrayItem::MenuAction::ShowSettings);
        QVERIFY(!popover->isVisible());
        SettingsView *window = s.view->settingsWindow();
        QVERIFY(window);
        window->close();
        s.view->showSettings();
        QCOMPARE(s.view->settingsWindow(), window);
        QVERIFY(window->isVisible());
    }

    // A change shows no card with the setting off, while the popover is open or with no item
    // on the tray, and none is kept for later. Else a second change replaces the card at once,
    // for a full time on screen of its own; then it goes by itself. Gone with a card up and its
    // dismissal pending, the controller leaves nothing to run. (A click on a card, for the
    // popover, is the end-to-end run's.)
    void cardShowsOnlyWhereItShouldAndGoes()
    {
        Setup s(8); // after the first, each lookup finds a change
        s.prefs.setShowIPChangeToast(false);
        QVERIFY(s.lookUp());
        QVERIFY(!s.view->toast());
        s.prefs.setShowIPChangeToast(true);
        s.tray.click();
        QVERIFY(s.lookUp());
        QVERIFY(!s.view->toast());
        s.view->popover()->close();
        s.tray.shown = false;
        QVERIFY(s.lookUp());
        s.tray.shown = true;
        QTest::qWait(50);
        QVERIFY(!s.view->toast());

        QVERIFY(s.lookUp());
        QPointer<ToastWindow> first = s.view->toast();
        QVERIFY(first);
        QTest::qWait(200);
        QVERIFY(s.lookUp());
        ToastWindow *second = s.view->toast();
        QVERIFY(!first && second);
        QTest::qWait(300); // past the first card's time
        QCOMPARE(s.view->toast(), second);
        QTRY_VERIFY_WITH_TIMEOUT(!second->isVisible(), 700);

        QVERIFY(s.lookUp());
        QVERIFY(s.view->toast());
        s.view.reset();
        QVERIFY(s.lookUp());
        QTest::qWait(500);
    }
};

QTEST_MAIN(TestStatusBarController)
#include "tst_statusbarcontroller.moc"
