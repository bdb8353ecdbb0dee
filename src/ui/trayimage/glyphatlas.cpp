#include "glyphatlas.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// Colours, fonts and scales seen over a session are few; this bounds a strange one.
constexpr qsizetype mostStrips = 16;

// The box of the pixels of image that are not fully transparent; empty when none.
QRect inkBounds(const QImage &image)
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

GlyphAtlas::Strip &GlyphAtlas::strip(const QFont &font, const QColor &color, qreal scale,
                                     qreal baseline)
{
    // A handful at most, compared field by field: cheaper than hashing a font's key.
    for (Strip &known : m_strips) {
        if (known.scale == scale && known.baseline == baseline && known.color == color &&
            known.font == font)
            return known;
    }
    if (qsizetype(m_strips.size()) >= mostStrips)
        m_strips.clear();
    return m_strips.emplace_back(Strip{font, color, scale, baseline, {}, {}});
}

qreal GlyphAtlas::advance(Strip &strip, char16_t character)
{
    if (const auto known = strip.advances.constFind(character); known != strip.advances.cend())
        return *known;
    // The advance the text's layout gives it, in 64ths of a pixel as Qt keeps them, so that
    // adding advances lands each character where drawing the whole text puts it.
    const qreal advance = QFontMetricsF(strip.font).horizontalAdvance(QChar(character));
    strip.advances.insert(character, advance);
    return advance;
}

const GlyphAtlas::Glyph &GlyphAtlas::glyph(Strip &strip, char16_t character, int fraction)
{
    const quint32 key = quint32(character) << 8 | quint32(fraction);
    if (const auto known = strip.glyphs.constFind(key); known != strip.glyphs.cend())
        return *known;
    // Drawn alone on an image as tall as the target, with room either side for ink that
    // reaches past the advance, then cut down to its ink.
    const qreal scale = strip.scale;
    const int margin = int(std::ceil(strip.font.pixelSize() * scale)) + 2;
    const int height = int(std::ceil((strip.baseline + strip.font.pixelSize()) * scale)) + margin;
    const int width = int(std::ceil(advance(strip, character) * scale)) + 2 * margin;
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(strip.font);
        painter.setPen(strip.color);
        painter.drawText(QPointF((margin + fraction / 64.0) / scale, strip.baseline),
                         QString(QChar(character)));
    }
    const QRect bounds = inkBounds(canvas);
    Glyph rendered{bounds.isEmpty() ? QImage() : canvas.copy(bounds),
                   bounds.topLeft() - QPoint(margin, 0)};
    return *strip.glyphs.insert(key, std::move(rendered));
}

void GlyphAtlas::drawText(QImage &target, QPointF origin, QStringView text, const QFont &font,
                          const QColor &color)
{
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const qreal scale = target.devicePixelRatio();
    Strip &row = strip(font, color, scale, origin.y());
    qreal pen = origin.x();
    for (const QChar character : text) {
        const qreal x = pen * scale;
        int pixel = int(std::floor(x));
        int fraction = int(std::lround((x - pixel) * 64));
        if (fraction == 64)
            ++pixel, fraction = 0;
        const Glyph &drawn = glyph(row, character.unicode(), fraction);
        if (!drawn.ink.isNull())
            blit(target, drawn.ink, QPoint(pixel, 0) + drawn.offset);
        pen += advance(row, character.unicode());
    }
}

} // namespace velmora
