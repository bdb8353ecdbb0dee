#include "glyphatlas.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// Pens, scales and baselines seen over a session are a few dozen (five square sizes, two
// rows, a few squeezes); this bounds a strange one.
constexpr qsizetype mostStrips = 64;
// Qt's glyph cache renders a character at four positions within a pixel and draws the one
// the pen's position falls in; keeping the same four means a dozen characters are rendered a
// few times each, not once for every position the rates' pen happens to reach.
constexpr int subPixelSteps = 4;

// The box of the pixels of image that are not fully transparent; empty when none.
QRect inkRect(const QImage &image)
{
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Source-over of premultiplied src on dst, rounded as Qt's raster engine rounds it.
QRgb over(QRgb src, QRgb dst)
{
    const uint alpha = qAlpha(src);
    if (alpha == 255 || dst == 0)
        return src;
    const uint keep = 255 - alpha;
    // Two channels at a time, each kept in its own 16 bits.
    const auto scaled = [keep](uint pair) {
        pair *= keep;
        pair = (pair + ((pair >> 8) & 0x00ff00ff) + 0x00800080) >> 8;
        return pair & 0x00ff00ff;
    };
    return src + (scaled(dst & 0x00ff00ff) | (scaled((dst >> 8) & 0x00ff00ff) << 8));
}

void blit(QImage &target, const QImage &ink, QPoint at)
{
    const QRect area = QRect(at, ink.size()) & target.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *out = reinterpret_cast<QRgb *>(target.scanLine(y));
        const auto *in = reinterpret_cast<const QRgb *>(ink.constScanLine(y - at.y()));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (const QRgb source = in[x - at.x()])
                out[x] = over(source, out[x]);
        }
    }
}

} // namespace

qsizetype GlyphAtlas::size() const
{
    qsizetype count = 0;
    for (const Strip &strip : m_strips)
        count += strip.glyphs.size();
    return count;
}

GlyphAtlas::Strip &GlyphAtlas::strip(const Pen &pen, qreal scale, qreal baseline)
{
    // A few dozen at most, compared field by field (cheaper than hashing a font's key), from
    // the one after the last used: a picture asks for its strips in the same order each time.
    const auto matches = [&](const Strip &known) {
        return known.scale == scale && known.baseline == baseline &&
               known.pen.squeeze == pen.squeeze && known.pen.color == pen.color &&
               known.pen.font == pen.font;
    };
    for (std::size_t i = 0; i < m_strips.size(); ++i) {
        const std::size_t index = (m_lastStrip + 1 + i) % m_strips.size();
        if (matches(m_strips[index])) {
            m_lastStrip = index;
            return m_strips[index];
        }
    }
    if (qsizetype(m_strips.size()) >= mostStrips)
        m_strips.clear();
    m_lastStrip = m_strips.size();
    return m_strips.emplace_back(Strip{pen, scale, baseline, {}, {}});
}

qreal GlyphAtlas::advance(Strip &strip, char16_t character)
{
    if (const auto known = strip.advances.constFind(character); known != strip.advances.cend())
        return *known;
    // The advance the text's layout gives it, in 64ths of a pixel as Qt keeps them, so that
    // adding advances lands each character where drawing the whole text puts it.
    const qreal advance =
        QFontMetricsF(strip.pen.font).horizontalAdvance(QChar(character)) * strip.pen.squeeze;
    strip.advances.insert(character, advance);
    return advance;
}

const GlyphAtlas::Glyph &GlyphAtlas::glyph(Strip &strip, char16_t character, int quarter)
{
    const quint32 key = quint32(character) << 8 | quint32(quarter);
    if (const auto known = strip.glyphs.constFind(key); known != strip.glyphs.cend())
        return *known;
    // Drawn alone on an image as tall as the target, with room either side for ink that
    // reaches past the advance, then cut down to its ink.
    const qreal scale = strip.scale;
    const int pixelSize = strip.pen.font.pixelSize();
    const int margin = int(std::ceil(pixelSize * scale)) + 2;
    const int height = int(std::ceil((strip.baseline + pixelSize) * scale)) + margin;
    const int width = int(std::ceil(advance(strip, character) * scale)) + 2 * margin;
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(strip.pen.font);
        painter.setPen(strip.pen.color);
        // In the middle of its quarter, so the glyph cache puts it in that quarter whatever
        // its rounding.
        painter.translate((margin + (quarter + 0.5) / subPixelSteps) / scale, strip.baseline);
        painter.scale(strip.pen.squeeze, 1);
        painter.drawText(QPointF(0, 0), QString(QChar(character)));
    }
    const QRect bounds = inkRect(canvas);
    Glyph rendered{bounds.isEmpty() ? QImage() : canvas.copy(bounds),
                   bounds.topLeft() - QPoint(margin, 0)};
    return *strip.glyphs.insert(key, std::move(rendered));
}

template<typename Place>
void GlyphAtlas::layOut(Strip &strip, qreal x, QStringView text, Place place)
{
    for (const QChar character : text) {
        // Qt keeps positions in 64ths of a pixel and takes a glyph's quarter from one 64th on.
        const qint64 sixtyFourths = std::llround(x * strip.scale * 64) + 1;
        const int quarter = int(sixtyFourths & 63) / (64 / subPixelSteps);
        place(Placed{&glyph(strip, character.unicode(), quarter), int(sixtyFourths >> 6)});
        x += advance(strip, character.unicode());
    }
}

void GlyphAtlas::drawText(QImage &target, QPointF origin, QStringView text, const Pen &pen)
{
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    Strip &row = strip(pen, target.devicePixelRatio(), origin.y());
    layOut(row, origin.x(), text, [&target](const Placed &placed) {
        if (!placed.glyph->ink.isNull())
            blit(target, placed.glyph->ink, QPoint(placed.pixel, 0) + placed.glyph->offset);
    });
}

QRect GlyphAtlas::inkBounds(QStringView text, const Pen &pen, qreal scale, qreal baseline)
{
    QRect bounds;
    layOut(strip(pen, scale, baseline), 0, text, [&bounds](const Placed &placed) {
        if (!placed.glyph->ink.isNull())
            bounds |=
                QRect(QPoint(placed.pixel, 0) + placed.glyph->offset, placed.glyph->ink.size());
    });
    return bounds;
}

} // namespace velmora
