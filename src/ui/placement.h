#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace velmora {

// One screen as placement sees it, in global logical coordinates: all of it, and the part the
// panels that the window manager knows of leave free (QScreen::geometry, availableGeometry).
struct ScreenArea
{
    QRect geometry;
    QRect available;

    // The application's screens, the primary first.
    static QList<ScreenArea> all();
};

// The strip the panel holding point takes: the one of reserved (the strips panel windows
// reserve with their struts) that contains it, else the strip between the screen's edge and its
// available area on point's side; a null rectangle when point lies in neither.
QRect panelStripAt(const QPoint &point, const ScreenArea &screen, const QList<QRect> &reserved);

// Where the tray item is best taken to be for a click on it: reported, the host's rectangle or
// click point, where it lies on a panel; else the pointer, where it is known and lies on one
// (some hosts now and then report a point far from the item, at the screen's other edge);
// else whichever of the two there is. A null rectangle when neither is known.
QRect clickAnchor(const QRect &reported, std::optional<QPoint> pointer,
                  const QList<ScreenArea> &screens, const QList<QRect> &reserved);

// What a window opened from the tray keeps clear: gap from the item, and from the edges of
// the available area along the panel and across it.
struct Spacing
{
    int gap = 0;
    int along = 0;
    int across = 0;
};
inline constexpr Spacing popoverSpacing{.gap = 4, .along = 6, .across = 6};
// The card sits just the gap below the item, whatever the panel's thickness.
inline constexpr Spacing toastSpacing{.gap = 6, .along = 8, .across = 0};

// Where a window's visible rectangle of size goes (its top-left corner) for the tray item at
// anchor: the item's rectangle, or a 1×1 rectangle at the point a click on it reported. It
// opens on the screen holding the item, beside the item on the side that faces the screen's
// interior, never over the item or its panel, centred on the item along the panel and kept
// inside the available area. reserved as for panelStripAt.
QPoint placeBeside(const QRect &anchor, const QSize &size, const QList<ScreenArea> &screens,
                   const QList<QRect> &reserved, Spacing spacing);

// Where a window opened from the tray goes: beside item, the best rectangle known for the tray
// item (its own, or a 1×1 one at a click on it), as placeBeside puts it. Without one, at the
// end of the first screen's panel where trays sit (the right end of a top or bottom panel, the
// lower end of a side one), else in the top-right corner of its available area. screens lists
// the primary screen first.
QPoint placeNearTray(const QRect &item, const QSize &size, const QList<ScreenArea> &screens,
                     const QList<QRect> &reserved, Spacing spacing);

} // namespace velmora
