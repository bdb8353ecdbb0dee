#include "xembedpictures.h"

#include "platform/xcbreply.h"

#include <QGuiApplication>

#include <cstdlib>

namespace velmora::xembed {

// The image that suits a slot of height logical pixels at ratio: the tallest that fits, in
// the sharpest ratio up to the screen's; the smallest when none fits. Trays that square
// their slots get pictures in several sizes, trays that keep widths one at each ratio.
QImage imageFor(const QList<QImage> &images, int height, qreal ratio)
{
    const auto fits = [height](const QImage &image) {
        return image.deviceIndependentSize().height() <= height + 0.5;
    };
    const auto better = [&](const QImage &image, const QImage &best) {
        if (best.isNull() || fits(image) != fits(best))
            return best.isNull() || fits(image);
        const qreal a = image.deviceIndependentSize().height();
        const qreal b = best.deviceIndependentSize().height();
        if (a != b)
            return fits(image) ? a > b : a < b;
        const qreal x = image.devicePixelRatio(), y = best.devicePixelRatio();
        return (y < ratio && x > y) || (x >= ratio && x < y);
    };
    QImage best;
    for (const QImage &image : images) {
        if (better(image, best))
            best = image;
    }
    return best;
}

// A drawable's pixels in area; null unless it has the screen's depth of 24, whose pixels come
// as 32-bit words in QImage::Format_RGB32's layout.
QImage pixelsOf(xcb_window_t drawable, const QRect &area)
{
    auto *connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        nullptr));
    if (!reply || reply->depth != 24 ||
        xcb_get_image_data_length(reply.get()) < area.width() * area.height() * 4)
        return {};
    return QImage(xcb_get_image_data(reply.get()), area.width(), area.height(),
                  QImage::Format_RGB32)
        .copy();
}

QRect screenRect(xcb_window_t root)
{
    auto *connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection)); screens.rem;
         xcb_screen_next(&screens)) {
        if (screens.data->root == root)
            return QRect(0, 0, screens.data->width_in_pixels, screens.data->height_in_pixels);
    }
    return {};
}

// A picture with the rates beside the glyph, not one made for a square-ish slot.
bool isWide(QSize size)
{
    return size.width() > size.height() + 4;
}

bool similar(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 24 && std::abs(a.green() - b.green()) <= 24 &&
           std::abs(a.blue() - b.blue()) <= 24;
}

} // namespace velmora::xembed
