#pragma once

// Reading widgets back from their pixels, for the checks a user makes by eye.

#include <QDir>
#include <QImage>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace pixels {

// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
inline double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The widget as drawn on its window's background, in its own coordinates.
inline QImage grab(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What the screen shows where the widget is, in the widget's coordinates.
inline QImage fromScreen(QWidget *widget)
{
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    return widget->screen()
        ->grabWindow(0, at.x(), at.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The best contrast any pixel of area makes with background.
inline double bestContrast(const QImage &image, const QRect &area, QRgb background)
{
    double best = 1;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            best = std::max(best, contrast(image.pixel(x, y), background));
    return best;
}

// Where the image differs from background by at least minimumContrast.
inline QRect inkBounds(const QImage &image, QRgb background, double minimumContrast = 1.5)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (contrast(image.pixel(x, y), background) >= minimumContrast)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Saves the widget as name in the directory VELMORA_ARTIFACTS names, when it is set.
inline void saveArtifact(QWidget *widget, const QString &name)
{
    const QString directory = qEnvironmentVariable("VELMORA_ARTIFACTS");
    if (!directory.isEmpty() && QDir().mkpath(directory))
        widget->grab().save(QDir(directory).filePath(name));
}

} // namespace pixels
