#include "squarerates.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace velmora {

QString compactRate(double bytesPerSecond, Preferences::SpeedUnit unit)
{
    static constexpr std::array<char, 4> prefixes{'K', 'M', 'G', 'T'};
    double value = 0;
    if (bytesPerSecond > 0 && std::isfinite(bytesPerSecond))
        value = (unit == Preferences::SpeedUnit::bits ? bytesPerSecond * 8 : bytesPerSecond) / 1000;
    // An idle link counts a stray packet now and then: "0.0K" beside "0K" would make the row
    // flicker between two widths.
    if (std::round(value * 10) == 0)
        return u"0K"_s;
    std::size_t index = 0;
    QString text;
    // Decided on the rounded figure, so 9.97 K shows as "10K", never "10.0K", and 999.7 K as
    // "1.0M", never "1000K".
    for (;;) {
        const double tenths = std::round(value * 10) / 10;
        if (tenths < 10) {
            text = QString::number(tenths, 'f', 1);
            break;
        }
        const double whole = std::round(value);
        if (whole < 1000 || index == prefixes.size() - 1) {
            text = QString::number(whole, 'f', 0);
            break;
        }
        value /= 1000;
        ++index;
    }
    return text + QLatin1Char(prefixes[index]);
}

SquareRatesLayout layoutSquareRates(QSize size, qsizetype rows)
{
    const int height = size.height();
    SquareRatesLayout layout;
    layout.sideMargin = std::max(1.0, std::floor(height / 22.0));
    if (rows <= 1) {
        layout.capHeight = std::round(height * 0.5);
        layout.baselines = {std::round((height + layout.capHeight) / 2)};
    } else {
        // A little below the most the height allows: four characters must fit beside the
        // arrow, and every pixel of height costs width.
        const qreal gap = std::max(2.0, std::round(height * 0.09));
        layout.capHeight = std::floor((height - 2 * layout.sideMargin - gap) / 2 * 0.9);
        const qreal first =
            std::round((height - 2 * layout.capHeight - gap) / 2) + layout.capHeight;
        layout.baselines = {first, first + gap + layout.capHeight};
    }
    // Odd, so that the stem stands on a whole pixel in the middle of the head.
    layout.markWidth = 2 * std::max(1.0, std::floor(layout.capHeight * 0.2)) + 1;
    layout.markGap = std::max(1.0, std::round(layout.capHeight * 0.12));
    return layout;
}

namespace {

constexpr int squeezeSteps = 16;
const QString download = u"\u2193"_s;

// A bold, condensed face of the desktop's UI font whose digits are capHeight pixels tall.
// Kept per height: the rates are drawn every second at every tray size.
QFont rowFont(qreal capHeight)
{
    thread_local QHash<qreal, QFont> fonts;
    if (const auto known = fonts.constFind(capHeight); known != fonts.cend())
        return *known;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setWeight(QFont::Bold);
    // Four characters in a square: a condensed face where the desktop has one, so that
    // less squeezing is left to do.
    font.setStretch(QFont::Condensed);
    font.setPixelSize(100);
    const qreal capPerPixel = QFontMetricsF(font).capHeight() / 100;
    font.setPixelSize(std::max(1, int(std::lround(capHeight / capPerPixel))));
    fonts.insert(capHeight, font);
    return font;
}

// An arrow as tall as the digits, pointing down for the download and up for the upload: a
// stem and a head of whole pixels, rows narrowing by one pixel a side, so that it stays crisp
// at 16 px. Drawn, not taken from a font, since a font's arrow is as wide as a digit and a
// square has no room to spare. box is as wide as the mark, an odd number of pixels.
void drawMark(QPainter &painter, const QRect &box, bool down, const QColor &color)
{
    const int stem = std::max(1, (box.width() / 4) | 1);
    const int head = (box.width() + 1) / 2;
    const int middle = box.left() + box.width() / 2;
    const int stemHeight = std::max(0, box.height() - head);
    painter.fillRect(middle - stem / 2, down ? box.top() : box.bottom() + 1 - stemHeight, stem,
                     stemHeight, color);
    for (int row = 0; row < head; ++row) {
        // From the tip back: 1, 3, 5… pixels wide.
        const int y = down ? box.bottom() - row : box.top() + row;
        painter.fillRect(middle - row, y, 2 * row + 1, 1, color);
    }
}

} // namespace

QImage renderSquareRates(const QList<RateEntry> &entries, QSize size, const SquareRatesStyle &style,
                         GlyphAtlas &atlas)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const SquareRatesLayout layout = layoutSquareRates(size, entries.size());
    const QFont font = rowFont(layout.capHeight);
    QColor text = style.panelTextColor;
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (style.onBadge && !style.customColors) {
            // Black at three quarters: white on it is 10:1 even where the panel is white.
            const qreal radius = std::max(2.0, std::round(size.height() * 0.18));
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 191));
            painter.drawRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
            text = Qt::white;
        }
        for (qsizetype row = 0; row < entries.size() && row < layout.baselines.size(); ++row) {
            const QRect box(int(layout.sideMargin),
                            int(layout.baselines.at(row) - layout.capHeight), int(layout.markWidth),
                            int(layout.capHeight));
            drawMark(painter, box, entries.at(row).arrow == download,
                     style.customColors ? entries.at(row).color : text);
        }
    }
    const qreal left = layout.sideMargin + layout.markWidth + layout.markGap;
    const qreal room = size.width() - layout.sideMargin - left;
    for (qsizetype row = 0; row < entries.size() && row < layout.baselines.size(); ++row) {
        const RateEntry &entry = entries.at(row);
        const qreal baseline = layout.baselines.at(row);
        GlyphAtlas::Pen pen{font, style.customColors ? entry.color : text};
        // Fitted by its ink, as bold glyphs reach past their advance; squeezed in sixteenths,
        // so that the few widths the rates have share their rendered characters.
        // A squeeze in sixteenths may still spill a pixel of antialiasing: a step more, so
        // that a blank column keeps the arrow apart from the digits.
        QRect ink = atlas.inkBounds(entry.text, pen, 1, baseline);
        if (ink.width() > room)
            pen.squeeze = std::floor(room / ink.width() * squeezeSteps) / squeezeSteps;
        while (pen.squeeze > 1.0 / squeezeSteps &&
               (ink = atlas.inkBounds(entry.text, pen, 1, baseline)).width() > room)
            pen.squeeze -= 1.0 / squeezeSteps;
        const qreal right = size.width() - layout.sideMargin;
        atlas.drawText(image, QPointF(right - ink.right() - 1, baseline), entry.text, pen);
    }
    return image;
}

} // namespace velmora
