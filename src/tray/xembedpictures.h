#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>

#include <xcb/xcb.h>

// What the docked item's window draws and reads back from the screen.
namespace velmora::xembed {

// The image that suits a slot of height logical pixels at ratio: the tallest that fits, in
// the sharpest ratio up to the screen's; the smallest when none fits.
QImage imageFor(const QList<QImage> &images, int height, qreal ratio);
// A drawable's pixels in area; null unless it has the screen's depth of 24.
QImage pixelsOf(xcb_window_t drawable, const QRect &area);
// The screen whose root window this is, at the origin; null when none is.
QRect screenRect(xcb_window_t root);
// A picture with the rates beside the glyph, not one made for a square-ish slot.
bool isWide(QSize size);
// Within a few steps in each channel.
bool similar(const QColor &a, const QColor &b);

} // namespace velmora::xembed
