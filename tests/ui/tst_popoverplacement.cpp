#include "popoverplacement.h"

#include <QTest>

using namespace velmora;

class TestPopoverPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("expected");

        // A 1280×800 screen whose panel takes the top or the bottom 30 pixels; popover 320×400.
        const QRect belowTopPanel(0, 30, 1280, 770);
        const QRect aboveBottomPanel(0, 0, 1280, 770);
        QTest::newRow("top panel, middle: centred below")
            << belowTopPanel << QRect(600, 4, 40, 22) << QPoint(459, 30);
        QTest::newRow("top panel, right edge: pushed left")
            << belowTopPanel << QRect(1250, 4, 22, 22) << QPoint(960, 30);
        QTest::newRow("top panel, left edge: pushed right")
            << belowTopPanel << QRect(2, 4, 22, 22) << QPoint(0, 30);
        QTest::newRow("bottom panel: above the item")
            << aboveBottomPanel << QRect(600, 774, 40, 22) << QPoint(459, 370);
        QTest::newRow("bottom panel, right corner")
            << aboveBottomPanel << QRect(1270, 790, 1, 1) << QPoint(960, 370);
        // A click point reported inside the usable area, near the top: below it, 4 px off.
        QTest::newRow("click point") << belowTopPanel << QRect(700, 100, 1, 1) << QPoint(540, 105);
        // Second screen to the right of the first.
        QTest::newRow("second screen")
            << QRect(1280, 0, 1920, 1050) << QRect(3100, 1055, 22, 22) << QPoint(2880, 650);
        // A screen too short for the popover keeps its top edge visible.
        QTest::newRow("short screen")
            << QRect(0, 0, 800, 300) << QRect(100, 280, 22, 20) << QPoint(0, 0);
    }

    void placement()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, anchor);
        QFETCH(QPoint, expected);
        const QSize size(320, 400);
        const QPoint at = popoverPosition(anchor, size, available);
        QCOMPARE(at, expected);
        if (size.height() <= available.height())
            QVERIFY(available.contains(QRect(at, size)));
        // The popover never covers the item it belongs to.
        if (available.height() >= 2 * size.height())
            QVERIFY(!QRect(at, size).intersects(anchor));
    }
};

QTEST_APPLESS_MAIN(TestPopoverPlacement)
#include "tst_popoverplacement.moc"
