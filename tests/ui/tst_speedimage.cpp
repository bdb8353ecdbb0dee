#include "trayimage/speedimage.h"
#include "trayimage/squarerates.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>

#include <cmath>

using namespace velmora;
using namespace Qt::StringLiterals;

using Data = Preferences::BandwidthData;
using Style = Preferences::ButtonStyle;
using Unit = Preferences::SpeedUnit;

namespace {

constexpr double downloadRate = 12'345;    // 98.8 Kb/s, 12.3 KB/s
constexpr double uploadRate = 987'654'321; // 7.9 Gb/s, 988 MB/s
const QColor panelRed(255, 0, 0);
const QColor customGreen(0, 255, 0);
const QColor customBlue(0, 0, 255);

// Where anything is drawn, and which channels appear.
struct Ink
{
    QRect bounds;
    bool red = false, green = false, blue = false;
};

Ink ink(const QImage &image)
{
    Ink found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) > 0)
                found.bounds |= QRect(x, y, 1, 1);
            found.red |= qRed(pixel) > 0;
            found.green |= qGreen(pixel) > 0;
            found.blue |= qBlue(pixel) > 0;
        }
    }
    return found;
}

SpeedImageSettings settings(Data data, Style style, bool onTop, Unit unit, bool custom = true)
{
    return {unit, data, onTop, style, custom, customGreen, customBlue};
}

} // namespace

class TestSpeedImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layout_data()
    {
        QTest::addColumn<SpeedImageSettings>("settings");
        // The arrows of each row, top row first.
        QTest::addColumn<QStringList>("rows");

        const auto add = [](const char *name, Data data, Style style, bool onTop, Unit unit,
                            const QStringList &rows) {
            QTest::newRow(name) << settings(data, style, onTop, unit) << rows;
        };
        add("both single, bits", Data::both, Style::singleLine, false, Unit::bits, {u"↓↑"_s});
        add("both single upload on top, bytes", Data::both, Style::singleLine, true, Unit::bytes,
            {u"↑↓"_s});
        add("both double, bytes", Data::both, Style::doubleLine, false, Unit::bytes,
            {u"↓"_s, u"↑"_s});
        add("both double upload on top, bits", Data::both, Style::doubleLine, true, Unit::bits,
            {u"↑"_s, u"↓"_s});
        // One rate is one row whatever the style and order.
        add("download double, bits", Data::download, Style::doubleLine, true, Unit::bits, {u"↓"_s});
        add("upload single, bytes", Data::upload, Style::singleLine, false, Unit::bytes, {u"↑"_s});
    }

    void layout()
    {
        QFETCH(SpeedImageSettings, settings);
        QFETCH(QStringList, rows);

        const SpeedImageLayout layout = layoutSpeedImage(downloadRate, uploadRate, settings);
        QStringList arrows;
        for (const QList<RateEntry> &row : layout.rows) {
            arrows.append(QString());
            for (const RateEntry &entry : row) {
                const bool down = entry.arrow == u"↓"_s;
                arrows.last() += entry.arrow;
                QCOMPARE(entry.text, Preferences::formatRate(down ? downloadRate : uploadRate,
                                                             settings.speedUnit));
                QCOMPARE(entry.color, down ? customGreen : customBlue);
            }
        }
        QCOMPARE(arrows, rows);

        const bool twoRows = rows.size() == 2;
        QCOMPARE(layout.font.pixelSize(), twoRows ? 9 : 12);
        QCOMPARE(layout.font.weight(), twoRows ? QFont::DemiBold : QFont::Normal);
        QVERIFY(QFontInfo(layout.font).fixedPitch());

        const QString sample =
            settings.speedUnit == Unit::bits ? u"↓ 888.8 Kb/s"_s : u"↓ 888.8 KB/s"_s;
        const int w = int(std::ceil(QFontMetricsF(layout.font).horizontalAdvance(sample)));
        QCOMPARE(layout.columnWidth, w);
        QCOMPARE(layout.size, QSize(rows.first().size() == 2 ? 2 * w + 12 : w + 4, 22));

        // Every glyph lands inside the image: paint with room around it and look
        // there.
        QImage canvas(layout.size + QSize(20, 20), QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.translate(10, 10);
        paintSpeedImage(painter, layout, panelRed);
        painter.end();
        const QRect bounds = ink(canvas).bounds;
        QVERIFY(!bounds.isEmpty() && QRect(QPoint(10, 10), layout.size).contains(bounds));
    }

    // Rows are centred from the top: ascent 8 and descent 2 make lines of 10.
    void baselines()
    {
        const auto measure = [](const QFont &, const QString &) { return FontMeasure{50.2, 8, 2}; };
        const auto layout = [&](Style style) {
            return layoutSpeedImage(1, 2, settings(Data::both, style, false, Unit::bits), measure);
        };
        QCOMPARE(layout(Style::singleLine).baselines, QList<qreal>{14});
        QCOMPARE(layout(Style::doubleLine).baselines, (QList<qreal>{9, 19}));
        QCOMPARE(layout(Style::singleLine).columnWidth, 51);
        QCOMPARE(layout(Style::singleLine).columnX(1), 63);
    }

    void render_data()
    {
        QTest::addColumn<bool>("custom");
        QTest::addColumn<qreal>("dpr");
        QTest::newRow("panel colour, 1x") << false << 1.0;
        QTest::newRow("custom colours, 2x") << true << 2.0;
    }

    void render()
    {
        QFETCH(bool, custom);
        QFETCH(qreal, dpr);
        const SpeedImageLayout layout =
            layoutSpeedImage(downloadRate, uploadRate,
                             settings(Data::both, Style::singleLine, false, Unit::bits, custom));
        const QImage image = renderSpeedImage(layout, dpr, panelRed);
        QCOMPARE(image.size(), layout.size * dpr);
        QCOMPARE(image.devicePixelRatio(), dpr);

        // Pure primaries keep their channels apart even where glyph edges are
        // blended.
        const Ink found = ink(image);
        QCOMPARE(found.red, !custom);
        QCOMPARE(found.green, custom);
        QCOMPARE(found.blue, custom);
    }

    // Each row's digits stand in their own half of the square, tall enough to
    // read at the smallest tray size the rates are drawn for, and nothing is cut
    // off at the sides.
    void squareRows_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("minimumDigitHeight");
        QTest::newRow("22 px") << 22 << 8;
        QTest::newRow("48 px") << 48 << 18;
    }

    void squareRows()
    {
        QFETCH(int, size);
        QFETCH(int, minimumDigitHeight);
        const QList<RateEntry> entries{{u"\u2193"_s, u"888M"_s, customGreen},
                                       {u"\u2191"_s, u"456K"_s, customBlue}};
        const QImage image = renderSquareRates(entries, size, true, panelRed);
        QCOMPARE(image.size(), QSize(size, size));
        const Ink top = ink(image.copy(0, 0, size, size / 2));
        const Ink bottom = ink(image.copy(0, size / 2, size, size - size / 2));
        QVERIFY(top.green && !top.blue && bottom.blue && !bottom.green);
        for (const Ink &row : {top, bottom}) {
            QVERIFY2(row.bounds.height() >= minimumDigitHeight,
                     qPrintable(QString::number(row.bounds.height())));
            QVERIFY(row.bounds.left() > 0 && row.bounds.right() < size - 1);
        }
    }
};

QTEST_MAIN(TestSpeedImage)
#include "tst_speedimage.moc"
