#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace velmora {

// One screen as placement sees it, in global logical coordinates: all of it, and the part the
// panels that the window manager knows of leave free (QScreen::geometry, availableGeometry).
struct ScreenArea
{
    QRect geometry;
    QRect available;
};

// The strip the panel holding point takes: the one of reserved (the strips panel windows
// reserve with their struts) that contains it, else the strip between the screen's edge and its
// available area on point's side; a null rectangle when point lies in neither.
QRect panelStripAt(const QPoint &point, const ScreenArea &screen, const QList<QRect> &reserved);

// Where a popover's visible rectangle of size goes (its top-left corner) for the tray item at
// anchor: the item's rectangle, or a 1×1 rectangle at the point a click on it reported. It
// opens on the screen holding the item, beside the item on the side that faces the screen's
// interior, never over the item or its panel, centred on the item along the panel and kept a
// small margin inside the available area. reserved as for panelStripAt.
QPoint popoverPosition(const QRect &anchor, const QSize &size, const QList<ScreenArea> &screens,
                       const QList<QRect> &reserved = {});

} // namespace velmora
