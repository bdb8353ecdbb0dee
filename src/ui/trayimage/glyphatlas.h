#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QStringView>

#include <vector>

namespace velmora {

// Draws short texts of a few characters the way QPainter::drawText does, pixel for pixel,
// but renders each character only once per font, colour, scale and position within a pixel
// and then copies it: the rates are redrawn every second from a dozen characters.
class GlyphAtlas
{
public:
    // Draws text on target (ARGB32 premultiplied, any device-pixel ratio) in font and color,
    // the left end of its baseline at origin in logical pixels, over what is there.
    void drawText(QImage &target, QPointF origin, QStringView text, const QFont &font,
                  const QColor &color);

    // How many characters are kept rendered.
    qsizetype size() const;

private:
    // A character's ink, and where its top-left corner lies from the pixel its pen position
    // falls in.
    struct Glyph
    {
        QImage ink;
        QPoint offset;
    };
    // The characters of one font in one colour at one scale and one baseline.
    struct Strip
    {
        QFont font;
        QColor color;
        qreal scale = 1;
        qreal baseline = 0; // logical pixels from the image's top
        QHash<char16_t, qreal> advances;
        // By character and the pen's position within its pixel, in 64ths.
        QHash<quint32, Glyph> glyphs;
    };

    Strip &strip(const QFont &font, const QColor &color, qreal scale, qreal baseline);
    qreal advance(Strip &strip, char16_t character);
    const Glyph &glyph(Strip &strip, char16_t character, int fraction);

    std::vector<Strip> m_strips;
};

} // namespace velmora
