#include "speedimage.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <cmath>
#include <vector>

namespace velmora {

namespace {

const QString downloadArrow = QStringLiteral("\u2193");
const QString uploadArrow = QStringLiteral("\u2191");

// The widest text of each unit: below 1000 G per second formatRate prints no more characters.
QString widthSample(Preferences::SpeedUnit unit)
{
    return unit == Preferences::SpeedUnit::bits ? QStringLiteral("\u2193 888.8 Kb/s")
                                                : QStringLiteral("\u2193 888.8 KB/s");
}

} // namespace

SpeedImageSettings SpeedImageSettings::from(const Preferences &prefs)
{
    return {prefs.speedUnit(),    prefs.bandwidthData(), prefs.uploadOnTop(), prefs.buttonStyle(),
            prefs.customColors(), prefs.downloadColor(), prefs.uploadColor()};
}

FontMeasure measureFont(const QFont &font, const QString &sample)
{
    // The image is laid out every second with one of four font and sample pairs; shaping the
    // sample each time was a good part of the cost of a redraw, and so was hashing the font's
    // key: the few pairs are compared as they are.
    struct Measured
    {
        QFont font;
        QString sample;
        FontMeasure measure;
    };
    thread_local std::vector<Measured> measured;
    for (const Measured &known : measured) {
        if (known.sample == sample && known.font == font)
            return known.measure;
    }
    const QFontMetricsF metrics(font);
    const FontMeasure measure{metrics.horizontalAdvance(sample), metrics.ascent(),
                              metrics.descent()};
    if (measured.size() > 16)
        measured.clear();
    measured.push_back({font, sample, measure});
    return measure;
}

QFont speedImageFont(int rowCount)
{
    // Rates must not jiggle as digits change. Qt 6.4 cannot ask the proportional UI font for
    // tabular digits (QFont::setFeature came in 6.6), so the desktop's fixed-pitch font it is.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    // Pixels, not points: the image is 22 logical pixels high, and at 96 dpi a Qt point is 4/3
    // of a pixel, which would make two 9-point rows taller than the image.
    font.setPixelSize(rowCount == 2 ? 9 : 12);
    font.setWeight(rowCount == 2 ? QFont::DemiBold : QFont::Normal);
    return font;
}

QList<RateEntry> speedEntries(double downloadRate, double uploadRate,
                              const SpeedImageSettings &settings,
                              QString (*format)(double, Preferences::SpeedUnit))
{
    using BandwidthData = Preferences::BandwidthData;

    const RateEntry download{downloadArrow, format(downloadRate, settings.speedUnit),
                             settings.downloadColor};
    const RateEntry upload{uploadArrow, format(uploadRate, settings.speedUnit),
                           settings.uploadColor};
    switch (settings.bandwidthData) {
    case BandwidthData::both:
        return settings.uploadOnTop ? QList{upload, download} : QList{download, upload};
    case BandwidthData::download:
        return {download};
    case BandwidthData::upload:
        return {upload};
    }
    return {};
}

QString speedLabel(const QList<RateEntry> &entries)
{
    QStringList parts;
    for (const RateEntry &entry : entries)
        parts.append(entry.label());
    return parts.join(QLatin1Char(' '));
}

QString speedLabelGuide(const QList<RateEntry> &entries, Preferences::SpeedUnit unit)
{
    // Hosts draw the label in a proportional font, where "M" is the widest prefix letter.
    const QString widest = unit == Preferences::SpeedUnit::bits ? QStringLiteral("888.8 Mb/s")
                                                                : QStringLiteral("888.8 MB/s");
    QStringList parts;
    for (const RateEntry &entry : entries)
        parts.append(entry.arrow + QLatin1Char(' ') + widest);
    return parts.join(QLatin1Char(' '));
}

SpeedImageLayout layoutSpeedImage(double downloadRate, double uploadRate,
                                  const SpeedImageSettings &settings, const FontMeasurer &measure)
{
    const QList<RateEntry> entries = speedEntries(downloadRate, uploadRate, settings);
    const bool twoRows =
        settings.buttonStyle == Preferences::ButtonStyle::doubleLine && entries.size() == 2;

    SpeedImageLayout layout;
    layout.customColors = settings.customColors;
    layout.font = speedImageFont(twoRows ? 2 : 1);
    const FontMeasure metrics = measure(layout.font, widthSample(settings.speedUnit));
    layout.columnWidth = int(std::ceil(metrics.sampleWidth));

    qsizetype columns = 1;
    if (twoRows) {
        for (const RateEntry &entry : entries)
            layout.rows.append({entry});
    } else {
        layout.rows.append(entries);
        columns = entries.size();
    }
    const int contentWidth =
        layout.columnWidth * int(columns) + SpeedImageLayout::gap * int(columns - 1);
    layout.size = QSize(contentWidth + SpeedImageLayout::leftMargin, SpeedImageLayout::height);

    // The block of rows is centred vertically. Measured from the top, where Qt puts the
    // origin (the layout rule was stated from the bottom), each baseline lies one ascent
    // below the top of its line.
    const qreal lineHeight = metrics.ascent + metrics.descent;
    const qreal top = (SpeedImageLayout::height - lineHeight * qreal(layout.rows.size())) / 2;
    for (qsizetype row = 0; row < layout.rows.size(); ++row)
        layout.baselines.append(top + qreal(row) * lineHeight + metrics.ascent);
    return layout;
}

void paintSpeedImage(QImage &image, QPointF origin, const SpeedImageLayout &layout,
                     const QColor &panelTextColor, GlyphAtlas &atlas)
{
    for (qsizetype row = 0; row < layout.rows.size(); ++row) {
        const QList<RateEntry> &entries = layout.rows.at(row);
        for (qsizetype column = 0; column < entries.size(); ++column) {
            const RateEntry &entry = entries.at(column);
            const QPointF pen(layout.columnX(column), layout.baselines.at(row));
            atlas.drawText(image, origin + pen, entry.label(),
                           {layout.font, layout.customColors ? entry.color : panelTextColor});
        }
    }
}

} // namespace velmora
