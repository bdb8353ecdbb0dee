// The card that tells of a new public address: where it goes, what it says, and when the
// controller shows and takes it away.

#include "pixels.h"
#include "placement.h"
#include "popover/popoverwindow.h"
#include "statusbarcontroller.h"
#include "toast/toastview.h"
#include "toast/toastwindow.h"
#include "trayitem.h"
#include "viewsetup.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

class Tray final : public TrayItem
{
public:
    void setIcon(const QList<QImage> &) override {}
    void setToolTip(const QString &) override {}
    void setLabel(const QString &, const QString &) override {}
    bool isShown() const override { return shown; }
    TrayRendering rendering() const override { return TrayRendering::Wide; }
    void click() { Q_EMIT activated(QRect(600, 4, 40, 22)); }

    bool shown = true;
};

GeoInfo record(const QString &ip, const QString &code, const QString &country)
{
    return {.ip = ip, .country = country, .countryCode = code};
}

// Addresses the scripted lookups find, in turn: every refresh after the first is a change.
struct Setup : fakes::ViewSetup<StatusBarController>
{
    Setup()
    {
        for (int i = 1; i <= 9; ++i)
            rig.lookups->addresses.push_back(u"203.0.113.%1"_s.arg(i));
        start(rig.services(fakes::quickTimings()), tray);
        view->setToastTimings({.fadeIn = 10ms, .onScreen = 400ms, .fadeOut = 50ms});
        std::ignore = fakes::waitUntilIdle(*model);
    }
    ~Setup() { view.reset(); }

    // Looks the address up again, which finds the next one.
    bool change()
    {
        model->refresh();
        return fakes::waitUntilIdle(*model);
    }

    Tray tray;
};

} // namespace

class TestToast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QRect>("item");
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QPoint>("expected");
        const ScreenArea topPanel{{0, 0, 1280, 800}, {0, 28, 1280, 772}};
        const ScreenArea bottomPanel{{0, 0, 1280, 800}, {0, 0, 1280, 756}};
        const ScreenArea noPanel{{0, 0, 1280, 800}, {0, 0, 1280, 800}};
        const ScreenArea second{{1280, 0, 1024, 768}, {1280, 30, 1024, 738}};
        // The card is 280 × 60: centred 6 px below the item (across a top panel's whole
        // height for a click point), 8 px inside the free area along the panel. On a screen
        // narrower than that it keeps its left edge, as the popover does.
        QTest::newRow("centred") << QRect(600, 2, 40, 24) << QList{topPanel} << QPoint(479, 34);
        QTest::newRow("right edge") << QRect(1250, 2, 24, 24) << QList{topPanel} << QPoint(992, 34);
        QTest::newRow("left edge") << QRect(4, 2, 24, 24) << QList{topPanel} << QPoint(8, 34);
        QTest::newRow("narrow screen")
            << QRect(100, 2, 24, 24) << QList{ScreenArea{{0, 0, 200, 600}, {0, 28, 200, 572}}}
            << QPoint(8, 34);
        QTest::newRow("bottom panel")
            << QRect(600, 760, 40, 36) << QList{bottomPanel} << QPoint(479, 690);
        QTest::newRow("second screen")
            << QRect(1900, 4, 30, 22) << QList{topPanel, second} << QPoint(1774, 36);
        QTest::newRow("click point on a top panel")
            << QRect(620, 14, 1, 1) << QList{topPanel} << QPoint(480, 34);
        QTest::newRow("unknown, top panel") << QRect() << QList{topPanel} << QPoint(992, 34);
        QTest::newRow("unknown, bottom panel") << QRect() << QList{bottomPanel} << QPoint(992, 690);
        QTest::newRow("unknown, no panel") << QRect() << QList{noPanel} << QPoint(992, 8);
    }

    void placement()
    {
        QFETCH(QRect, item);
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QPoint, expected);
        QCOMPARE(toastPosition(item, QSize(280, 60), screens, {}), expected);
    }

    // The title says whether the country changed; the addresses keep one line, shortened in
    // the middle, and a reader still gets them whole.
    void texts_data()
    {
        QTest::addColumn<GeoInfo>("old");
        QTest::addColumn<GeoInfo>("now");
        QTest::addColumn<QStringList>("lines");
        const GeoInfo berlin = record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s);
        QTest::newRow("same country")
            << berlin << record(u"203.0.113.9"_s, u"DE"_s, u"Germany"_s)
            << QStringList{u"IP address changed"_s, u"203.0.113.4 → 203.0.113.9"_s};
        QTest::newRow("another country")
            << berlin << record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s)
            << QStringList{u"Now in Netherlands"_s, u"203.0.113.4 → 198.51.100.7"_s,
                           u"was 🇩🇪 Germany"_s};
        QTest::newRow("long IPv6 addresses")
            << record(u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1"_s, u"DE"_s, u"Germany"_s)
            << record(u"2001:db8:ffff:1111:2222:3333:4444:2"_s, u"DE"_s, u"Germany"_s)
            << QStringList{u"IP address changed"_s, u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1 → "
                                                    "2001:db8:ffff:1111:2222:3333:4444:2"_s};
    }

    void texts()
    {
        QFETCH(GeoInfo, old);
        QFETCH(GeoInfo, now);
        QFETCH(QStringList, lines);
        ToastView view(old, now, {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QStringList read;
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() == now.flag())
                continue;
            read.append(label->accessibleName().isEmpty() ? label->text()
                                                          : label->accessibleName());
            // Shown whole or shortened in the middle, always on one line within the card.
            const QString shown = label->text();
            QVERIFY2(shown == read.last() || (shown.contains(u'…') &&
                                              read.last().startsWith(shown.section(u'…', 0, 0)) &&
                                              read.last().endsWith(shown.section(u'…', 1))),
                     qPrintable(shown));
            QVERIFY(label->geometry().right() < ToastView::cardWidth - 13);
            QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
        }
        QCOMPARE(read, lines);
        QCOMPARE(view.width(), ToastView::cardWidth);
    }

    // Both themes: the texts read on the card.
    void readable_data() { fakes::addThemeRows(); }
    void readable()
    {
        QFETCH(Preferences::Theme, theme);
        fakes::ThemedApplication themed(theme);
        ToastView view(record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s),
                       record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s), {});
        view.adjustSize();
        const QImage image = pixels::grab(&view);
        const QRgb card = image.pixel(view.width() / 2, 3);
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() != view.findChildren<QLabel *>().first()->text())
                QVERIFY2(pixels::bestContrast(image, label->geometry(), card) >= 4.5,
                         qPrintable(label->text()));
        }
        pixels::saveArtifact(&view, u"toast-%1.png"_s.arg(Preferences::rawValue(theme)));
    }

    // A change shows nothing with the setting off, while the popover is open or with no item
    // on the tray, and is not kept for later.
    void showsOnlyWhereItShould_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::newRow("shown") << QString();
        QTest::newRow("setting off") << u"setting"_s;
        QTest::newRow("popover open") << u"popover"_s;
        QTest::newRow("no item") << u"item"_s;
    }

    void showsOnlyWhereItShould()
    {
        QFETCH(QString, condition);
        Setup s;
        s.prefs.setShowIPChangeToast(condition != "setting"_L1);
        if (condition == "popover"_L1)
            s.tray.click();
        s.tray.shown = condition != "item"_L1;
        QVERIFY(s.change());
        QCOMPARE(bool(s.view->toast()), condition.isEmpty());
        if (!condition.isEmpty()) {
            s.prefs.setShowIPChangeToast(true);
            s.view->popover()->close();
            s.tray.shown = true;
            QTest::qWait(50);
            QVERIFY(!s.view->toast());
        } else {
            QVERIFY(QTest::qWaitForWindowExposed(s.view->toast()));
            QVERIFY(s.view->toast()->windowFlags() & Qt::WindowDoesNotAcceptFocus);
        }
    }

    // A second change replaces the card at once, for a full time on screen of its own; then it
    // goes by itself.
    void replacedThenDismissed()
    {
        Setup s;
        QVERIFY(s.change());
        QPointer<ToastWindow> first = s.view->toast();
        QVERIFY(first);
        QTest::qWait(200);
        QVERIFY(s.change());
        ToastWindow *second = s.view->toast();
        QVERIFY(!first && second);
        QTest::qWait(300); // past the first card's time
        QCOMPARE(s.view->toast(), second);
        QVERIFY(second->windowOpacity() == 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(!s.view->toast(), 400);
        QTRY_VERIFY_WITH_TIMEOUT(!second->isVisible(), 300);
    }

    // Opening the popover, from the card or any other way, takes the card away.
    void popoverDismissesIt_data()
    {
        QTest::addColumn<bool>("fromCard");
        QTest::newRow("click on the card") << true;
        QTest::newRow("click on the item") << false;
    }

    void popoverDismissesIt()
    {
        QFETCH(bool, fromCard);
        Setup s;
        QVERIFY(s.change());
        ToastWindow *card = s.view->toast();
        QVERIFY(QTest::qWaitForWindowExposed(card));
        if (fromCard)
            QTest::mouseClick(card->findChild<ToastView *>(), Qt::LeftButton);
        else
            s.tray.click();
        QVERIFY(s.view->popover()->isVisible());
        QVERIFY(!s.view->toast());
        QTRY_VERIFY_WITH_TIMEOUT(!card->isVisible(), 500);
    }

    // Gone with a card up and its dismissal pending, the controller leaves nothing to run.
    void controllerGoneWithACardUp()
    {
        Setup s;
        QVERIFY(s.change());
        QVERIFY(s.view->toast());
        s.view.reset();
        QVERIFY(s.change());
        QTest::qWait(500);
    }
};

QTEST_MAIN(TestToast)
#include "tst_toast.moc"
