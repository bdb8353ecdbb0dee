#pragma once

#include "glyphatlas.h"
#include "preferences.h"
#include "speedimage.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace velmora {

// A rate in at most four characters for a tray icon: the number and the unit's prefix letter
// from K up, one decimal below ten ("0.3K", "1.2M", "12M", "456K"). Nothing at all, and
// anything that would round to "0.0K", is "0K", so an idle row keeps its look. The unit
// (bits or bytes) is the one the settings show.
QString compactRate(double bytesPerSecond, Preferences::SpeedUnit unit);

// Where the rows of a rates picture go, in pixels of a picture of the given size: each row is
// a direction mark (an arrow) at the left and the rate to the right of it, right-aligned, so
// that the unit letters of two rows stand one over the other.
struct SquareRatesLayout
{
    qreal capHeight = 0;    // height of a digit
    QList<qreal> baselines; // one per row, from the top
    qreal sideMargin = 0;   // kept free left and right
    qreal markWidth = 0;    // the arrow's width; its height is the digits'
    qreal markGap = 0;      // between the arrow and the rate
};

// One row per entry (at most two), digits as tall as the picture allows with a small gap.
SquareRatesLayout layoutSquareRates(QSize size, qsizetype rows);

// How the rows are coloured.
struct SquareRatesStyle
{
    bool customColors = false;
    // The text colour that reads on the panel, where the panel's colour is known.
    QColor panelTextColor;
    // The panel's colour is unknown: light rows on a dark badge of their own, which read on
    // any panel.
    bool onBadge = false;

    friend bool operator==(const SquareRatesStyle &, const SquareRatesStyle &) = default;
};

// The entries (texts from compactRate) drawn as rows into a transparent picture of size, each
// rate squeezed sideways only when it would not fit, its characters copied from atlas. Marks
// and rates are in each entry's colour with custom colours on, else in the panel's text
// colour, or white on the badge.
QImage renderSquareRates(const QList<RateEntry> &entries, QSize size, const SquareRatesStyle &style,
                         GlyphAtlas &atlas);

} // namespace velmora
