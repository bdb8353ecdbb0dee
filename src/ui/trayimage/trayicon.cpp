#include "trayicon.h"

#include "look.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace velmora {

QImage TrayIconRenderer::titleImage(const QString &title, qreal scale, bool square)
{
    const QString key = title + QLatin1Char('@') + QString::number(scale) +
                        (square ? QStringLiteral("s") : QString());
    if (const auto cached = m_titles.constFind(key); cached != m_titles.cend())
        return *cached;

    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    // Two pixels either side keep the glyph off the panel's edge and the rates.
    const qreal advance = metrics.horizontalAdvance(title);
    const int width = square ? height : (title.isEmpty() ? 0 : int(std::ceil(advance)) + 4);
    QImage image(int(std::ceil(width * scale)), int(std::ceil(height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    if (width > 0) {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        painter.setFont(font);
        const qreal baseline = (height - metrics.height()) / 2 + metrics.ascent();
        painter.drawText(QPointF(square ? (width - advance) / 2 : 2, baseline), title);
    }
    // A flag, the globe and the warning sign: the cache never holds more than a few.
    if (m_titles.size() > 16)
        m_titles.clear();
    m_titles.insert(key, image);
    return image;
}

QList<QImage> TrayIconRenderer::render(const QString &title,
                                       const std::optional<SpeedImageLayout> &speed,
                                       const QColor &panelTextColor)
{
    QList<QImage> images;
    for (const qreal scale : scales) {
        const QImage glyph = titleImage(title, scale);
        if (!speed) {
            images.append(glyph);
            continue;
        }
        const int logicalWidth = int(std::lround(glyph.width() / scale)) + speed->size.width();
        QImage image(int(std::ceil(logicalWidth * scale)), int(std::ceil(height * scale)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        // The glyph is as high as the image and lies on nothing: its rows are copied.
        const qsizetype glyphRow = qsizetype(glyph.width()) * 4;
        for (int y = 0; y < glyph.height() && y < image.height(); ++y)
            std::memcpy(image.scanLine(y), glyph.constScanLine(y), size_t(glyphRow));
        paintSpeedImage(image, QPointF(glyph.width() / scale, 0), *speed, panelTextColor, m_atlas);
        images.append(image);
    }
    return images;
}

QList<QImage> TrayIconRenderer::renderSquareTitle(const QString &title)
{
    QList<QImage> images;
    for (const qreal scale : scales)
        images.append(titleImage(title, scale, true));
    return images;
}

QList<QImage> TrayIconRenderer::renderSquareRates(const QList<RateEntry> &entries,
                                                  const SquareRatesStyle &style, QSize slot)
{
    if (!slot.isEmpty())
        return {velmora::renderSquareRates(entries, slot, style, m_atlas)};
    QList<QImage> images;
    for (const int size : squareSizes)
        images.append(velmora::renderSquareRates(entries, QSize(size, size), style, m_atlas));
    return images;
}

} // namespace velmora
