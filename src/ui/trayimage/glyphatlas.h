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
// but renders each character only once per font, colour, scale and quarter of a pixel and
// then copies it: the rates are redrawn every second from a dozen characters.
class GlyphAtlas
{
public:
    // How a text is drawn: its font and colour, squeezed sideways by squeeze (1: not at all).
    struct Pen
    {
        QFont font;
        QColor color;
        qreal squeeze = 1;
    };

    // Draws text on target (ARGB32 premultiplied, any device-pixel ratio) with pen, the left
    // end of its baseline at origin in logical pixels, over what is there.
    void drawText(QImage &target, QPointF origin, QStringView text, const Pen &pen);
    // The box of the pixels drawText would cover on an image of pixel ratio scale for an
    // origin of (0, baseline), in device pixels; empty for a text without ink.
    QRect inkBounds(QStringView text, const Pen &pen, qreal scale, qreal baseline);

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
    // The characters of one pen at one scale and one baseline.
    struct Strip
    {
        Pen pen;
        qreal scale = 1;
        qreal baseline = 0; // logical pixels from the image's top
        QHash<char16_t, qreal> advances;
        // By character and the quarter of its pixel the pen is in.
        QHash<quint32, Glyph> glyphs;
    };
    // A character as laid out: its ink and the pixel its pen position falls in.
    struct Placed
    {
        const Glyph *glyph;
        int pixel;
    };

    Strip &strip(const Pen &pen, qreal scale, qreal baseline);
    qreal advance(Strip &strip, char16_t character);
    const Glyph &glyph(Strip &strip, char16_t character, int quarter);
    // Calls place for each character of text from logical x on.
    template<typename Place> void layOut(Strip &strip, qreal x, QStringView text, Place place);

    std::vector<Strip> m_strips;
    std::size_t m_lastStrip = 0;
};

} // namespace velmora
