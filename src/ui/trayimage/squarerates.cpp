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
                         const QColor &panelTextColor)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const SquareRatesLayout layout = layoutSquareRates(size, entries.size());
    const QFont font = rowFont(layout.capHeight);
    const QFontMetricsF metrics(font);
    const qreal room = size - 2 * layout.sideMargin;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    for (qsizetype row = 0; row < entries.size() && row < layout.baselines.size(); ++row) {
        const RateEntry &entry = entries.at(row);
        // Centred and fitted by its ink: bold glyphs reach past their advance.
        const QRectF inkBox = metrics.tightBoundingRect(entry.text);
        const qreal squeeze = inkBox.width() > room ? room / inkBox.width() : 1.0;
        painter.save();
        painter.translate((size - inkBox.width() * squeeze) / 2 - inkBox.left() * squeeze,
                          layout.baselines.at(row));
        painter.scale(squeeze, 1);
        painter.setPen(customColors ? entry.color : panelTextColor);
        painter.drawText(QPointF(0, 0), entry.text);
        painter.restore();
    }
    return image;
}

} // namespace velmora
