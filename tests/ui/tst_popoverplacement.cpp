#include "popoverplacement.h"

#include <QTest>

using namespace velmora;

Q_DECLARE_METATYPE(velmora::ScreenArea)

class TestPopoverPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QList<QRect>>("reserved");
        QTest::addColumn<QRect>("anchor"); // 1×1: a click point
        QTest::addColumn<QPoint>("expected");

        // 1280×800 screens; a popover of 320×400 kept 6 px inside, 4 px off the item.
        const QRect screen(0, 0, 1280, 800);
        const auto with = [&](const QRect &available) {
            return QList{ScreenArea{screen, available}};
        };
        const auto click = [](int x, int y) { return QRect(x, y, 1, 1); };
        QTest::newRow("top panel of the available area: below it, pushed left")
            << with(QRect(0, 30, 1280, 770)) << QList<QRect>() << click(1200, 12)
            << QPoint(954, 36);
        QTest::newRow("bottom panel of the available area: above it")
            << with(QRect(0, 0, 1280, 770)) << QList<QRect>() << click(600, 785)
            << QPoint(440, 364);
        QTest::newRow("left panel: beside it")
            << with(QRect(40, 0, 1240, 800)) << QList<QRect>() << click(20, 400) << QPoint(46, 200);
        QTest::newRow("right panel, near the bottom: pushed up")
            << with(QRect(0, 0, 1240, 800)) << QList<QRect>() << click(1260, 780)
            << QPoint(914, 394);
        // No window manager sets the available area; the panel's strut still tells its extent.
        QTest::newRow("top strut, whole screen available")
            << with(screen) << QList{QRect(0, 0, 1280, 30)} << click(640, 10) << QPoint(480, 34);
        QTest::newRow("item rectangle in a bottom strut")
            << with(screen) << QList{QRect(0, 776, 1280, 24)} << QRect(700, 778, 24, 20)
            << QPoint(551, 372);
        // Nothing known of the panel: an item's extent assumed beyond the click.
        QTest::newRow("bare click near the top")
            << with(screen) << QList<QRect>() << click(700, 5) << QPoint(540, 42);
        QTest::newRow("bare click near the bottom")
            << with(screen) << QList<QRect>() << click(700, 795) << QPoint(540, 359);
        QTest::newRow("bare click near the right edge")
            << with(screen) << QList<QRect>() << click(1275, 400) << QPoint(919, 200);
        QTest::newRow("item rectangle in the top right corner")
            << with(screen) << QList<QRect>() << QRect(1256, 0, 24, 24) << QPoint(954, 28);
        const QRect second(1280, 0, 1920, 1080);
        QTest::newRow("second screen, bottom panel")
            << QList{ScreenArea{screen, QRect(0, 30, 1280, 770)},
                     ScreenArea{second, second.adjusted(0, 0, 0, -30)}}
            << QList<QRect>() << click(3100, 1065) << QPoint(2874, 644);
    }

    void placement()
    {
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QList<QRect>, reserved);
        QFETCH(QRect, anchor);
        QFETCH(QPoint, expected);
        const QRect popover(popoverPosition(anchor, QSize(320, 400), screens, reserved),
                            QSize(320, 400));
        QCOMPARE(popover.topLeft(), expected);
        QVERIFY(!popover.intersects(anchor));
        QVERIFY(std::ranges::any_of(
            screens, [&](const ScreenArea &screen) { return screen.available.contains(popover); }));
    }
};

QTEST_APPLESS_MAIN(TestPopoverPlacement)
#include "tst_popoverplacement.moc"
