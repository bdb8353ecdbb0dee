#pragma once

#include "glyphatlas.h"
#include "preferences.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>

namespace velmora {

// The settings the speed image depends on, copied out of Preferences so that a layout can be
// made without a settings store.
struct SpeedImageSettings
{
    Preferences::SpeedUnit speedUnit = Preferences::SpeedUnit::bits;
    Preferences::BandwidthData bandwidthData = Preferences::BandwidthData::both;
    bool uploadOnTop = false;
    Preferences::ButtonStyle buttonStyle = Preferences::ButtonStyle::doubleLine;
    bool customColors = false;
    QColor downloadColor = Preferences::fallbackDownloadColor();
    QColor uploadColor = Preferences::fallbackUploadColor();

    static SpeedImageSettings from(const Preferences &prefs);
};

// One rate drawn in the image.
struct RateEntry
{
    QString arrow; // "↓" for download, "↑" for upload
    QString text;  // the formatted rate
    QColor color;  // drawn only with custom colours on

    // The drawn text: arrow, one space, rate.
    QString label() const { return arrow + QLatin1Char(' ') + text; }

    friend bool operator==(const RateEntry &, const RateEntry &) = default;
};

// The rates to show, in the order the settings ask for, each in its colour, with texts made
// by format (formatRate unless told otherwise).
QList<RateEntry>
speedEntries(double downloadRate, double uploadRate, const SpeedImageSettings &settings,
             QString (*format)(double, Preferences::SpeedUnit) = &Preferences::formatRate);

// The rates as one line of text for trays that draw the item's label themselves:
// "↓ 12.3 Mb/s ↑ 456 Kb/s".
QString speedLabel(const QList<RateEntry> &entries);
// The widest text speedLabel gives for these entries in unit, so the tray can keep the item's
// width while the rates change.
QString speedLabelGuide(const QList<RateEntry> &entries, Preferences::SpeedUnit unit);

// What the layout needs to know of a font, in logical pixels. The descent is positive (below
// the baseline); the line height is ascent + descent.
struct FontMeasure
{
    qreal sampleWidth = 0;
    qreal ascent = 0;
    qreal descent = 0;
};
// Measures sample, and the line, in font. Tests substitute their own.
using FontMeasurer = std::function<FontMeasure(const QFont &font, const QString &sample)>;
// The measurer the image is drawn with: QFontMetricsF.
FontMeasure measureFont(const QFont &font, const QString &sample);

// Where everything goes in the speed image, in logical pixels with the origin at the top left.
struct SpeedImageLayout
{
    static constexpr int height = 22;
    static constexpr int leftMargin = 4;
    static constexpr int gap = 8;

    QFont font;
    // Top row first; each row's entries from left to right.
    QList<QList<RateEntry>> rows;
    // The baseline of each row, from the top of the image.
    QList<qreal> baselines;
    // Every column has this width whatever its text, so the image keeps its width as rates
    // change.
    int columnWidth = 0;
    QSize size;
    bool customColors = false;

    // The left edge of the column-th entry of any row.
    qreal columnX(qsizetype column) const { return leftMargin + column * (columnWidth + gap); }
};

// The font of an image with one row (12 px regular) or two (9 px semibold), digits of equal
// width.
QFont speedImageFont(int rowCount);

// Lays out the two rates (bytes per second) as settings ask: which rates and in which order,
// one row or two, the font, the fixed column width and the vertically centred rows.
SpeedImageLayout layoutSpeedImage(double downloadRate, double uploadRate,
                                  const SpeedImageSettings &settings,
                                  const FontMeasurer &measure = measureFont);

// Draws layout on image with its top-left corner at origin (logical pixels), its characters
// copied from atlas. Text is in each entry's colour with custom colours on, else in
// panelTextColor: trays here do not recolour images, so the caller picks the colour that
// suits the panel.
void paintSpeedImage(QImage &image, QPointF origin, const SpeedImageLayout &layout,
                     const QColor &panelTextColor, GlyphAtlas &atlas);

} // namespace velmora
