#include "squarerates.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>

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
    if (value == 0)
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

SquareRatesLayout layoutSquareRates(int size, qsizetype rows)
{
    SquareRatesLayout layout;
    const qreal margin = std::max(1.0, std::floor(size / 22.0));
    layout.sideMargin = margin;
    if (rows <= 1) {
        layout.capHeight = std::round(size * 0.5);
        layout.baselines = {std::round((size + layout.capHeight) / 2)};
        return layout;
    }
    const qreal gap = std::max(2.0, std::round(size * 0.09));
    layout.capHeight = std::floor((size - 2 * margin - gap) / 2);
    const qreal first = margin + layout.capHeight;
    layout.baselines = {first, first + gap + layout.capHeight};
    return layout;
}

namespace {

constexpr int squeezeSteps = 16;

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

} // namespace

QImage renderSquareRates(const QList<RateEntry> &entries, int size, bool customColors,
                         const QColor &panelTextColor, GlyphAtlas &atlas)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const SquareRatesLayout layout = layoutSquareRates(size, entries.size());
    const QFont font = rowFont(layout.capHeight);
    const qreal room = size - 2 * layout.sideMargin;
    for (qsizetype row = 0; row < entries.size() && row < layout.baselines.size(); ++row) {
        const RateEntry &entry = entries.at(row);
        const qreal baseline = layout.baselines.at(row);
        GlyphAtlas::Pen pen{font, customColors ? entry.color : panelTextColor};
        // Fitted by its ink, as bold glyphs reach past their advance; squeezed in sixteenths,
        // so that the few widths the rates have share their rendered characters.
        QRect ink = atlas.inkBounds(entry.text, pen, 1, baseline);
        if (ink.width() > room) {
            pen.squeeze = std::floor(room / ink.width() * squeezeSteps) / squeezeSteps;
            ink = atlas.inkBounds(entry.text, pen, 1, baseline);
        }
        const qreal left = std::round((size - ink.width()) / 2.0) - ink.left();
        atlas.drawText(image, QPointF(left, baseline), entry.text, pen);
    }
    return image;
}

} // namespace velmora
