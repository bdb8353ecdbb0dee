#include "placement.h"

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
        const auto row = [&](const char *name, const QRect &available, const QList<QRect> &reserved,
                             const QRect &anchor, QPoint expected) {
            QTest::newRow(name) << QList{ScreenArea{screen, available}} << reserved << anchor
                                << expected;
        };
        const auto click = [](int x, int y) { return QRect(x, y, 1, 1); };
        row("top panel of the available area: below it, pushed left", QRect(0, 30, 1280, 770), {},
            click(1200, 12), {954, 36});
        row("bottom panel of the available area: above it", QRect(0, 0, 1280, 770), {},
            click(600, 785), {440, 364});
        row("left panel: beside it", QRect(40, 0, 1240, 800), {}, click(20, 400), {46, 200});
        row("right panel, near the bottom: pushed up", QRect(0, 0, 1240, 800), {}, click(1260, 780),
            {914, 394});
        // No window manager sets the available area; the panel's strut still tells its extent.
        row("top strut, whole screen available", screen, {QRect(0, 0, 1280, 30)}, click(640, 10),
            {480, 34});
        row("item rectangle in a bottom strut", screen, {QRect(0, 776, 1280, 24)},
            QRect(700, 778, 24, 20), {551, 372});
        // Nothing known of the panel: an item's extent assumed beyond the click.
        row("bare click near the top", screen, {}, click(700, 5), {540, 42});
        row("bare click near the bottom", screen, {}, click(700, 795), {540, 359});
        row("bare click near the right edge", screen, {}, click(1275, 400), {919, 200});
        row("item rectangle in the top right corner", screen, {}, QRect(1256, 0, 24, 24),
            {954, 28});
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
        const QRect popover(placeBeside(anchor, QSize(320, 400), screens, reserved, popoverSpacing),
                            QSize(320, 400));
        QCOMPARE(popover.topLeft(), expected);
        QVERIFY(!popover.intersects(anchor));
        QVERIFY(std::ranges::any_of(
            screens, [&](const ScreenArea &screen) { return screen.available.contains(popover); }));
    }
};

QTEST_APPLESS_MAIN(TestPopoverPlacement)
#include "tst_popoverplacement.moc"
