#pragma once

#include "glyphatlas.h"
#include "preferences.h"
#include "speedimage.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

namespace velmora {

// A rate in at most four characters for a tray icon: the number and the unit's prefix letter
// from K up, one decimal below ten ("0.3K", "1.2M", "12M", "456K"); nothing at all is "0K".
// The unit (bits or bytes) is the one the settings show.
QString compactRate(double bytesPerSecond, Preferences::SpeedUnit unit);

// Where the rows of a square rates picture go, in pixels of a size × size square.
struct SquareRatesLayout
{
    qreal capHeight = 0;    // height of a digit
    QList<qreal> baselines; // one per row, from the top
    qreal sideMargin = 0;   // kept free left and right
};

// One row per entry (at most two), digits as tall as the square allows with a small gap.
SquareRatesLayout layoutSquareRates(int size, qsizetype rows);

// The entries (texts from compactRate) drawn as rows into a transparent size × size image,
// each row centred and squeezed sideways only when it would not fit, its characters copied
// from atlas. Text is in each entry's colour with custom colours on, else in panelTextColor.
QImage renderSquareRates(const QList<RateEntry> &entries, int size, bool customColors,
                         const QColor &panelTextColor, GlyphAtlas &atlas);

} // namespace velmora
