#pragma once

#include "glyphatlas.h"
#include "speedimage.h"
#include "squarerates.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace velmora {

// Draws the tray item's picture: the title glyph (a flag, or the loading or offline sign) in
// the colour emoji font, followed by the speed image when there is one, at scale 1 and 2.
// Glyph images are kept between calls, since the title changes rarely and the rates every
// second.
class TrayIconRenderer
{
public:
    static constexpr int height = SpeedImageLayout::height;
    static constexpr std::array<qreal, 2> scales{1, 2};

    // One image per scale, each carrying its device-pixel ratio, all of the same logical size.
    QList<QImage> render(const QString &title, const std::optional<SpeedImageLayout> &speed,
                         const QColor &panelTextColor);

    // The title glyph alone at scale, from the cache when drawn before: as wide as the glyph,
    // or centred in a square for trays that draw square icons.
    QImage titleImage(const QString &title, qreal scale, bool square = false);

    // The title glyph alone in a square, at scale 1 and 2.
    QList<QImage> renderSquareTitle(const QString &title);
    // The rates (texts from compactRate) as rows: one picture of the slot's size where the
    // tray tells it, else a square of each size in squareSizes, so that each tray picks the
    // one it draws without scaling text.
    QList<QImage> renderSquareRates(const QList<RateEntry> &entries, const SquareRatesStyle &style,
                                    QSize slot = {});
    static constexpr std::array<int, 5> squareSizes{16, 22, 24, 32, 48};

private:
    QHash<QString, QImage> m_titles;
    GlyphAtlas m_atlas;
};

} // namespace velmora
