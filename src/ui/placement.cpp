#include "placement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// A click point says nothing of the item's extent, and the click may be on the item's outer
// edge: the item can then reach a whole panel's thickness beyond it. Panels are 24 to 32 pixels
// thick almost everywhere; a thicker guess only costs a little more distance.
constexpr int assumedItemExtent = 32;

// The edge of the screen a panel sits on.
enum class PanelEdge { Top, Bottom, Left, Right };

bool isClickPoint(const QRect &anchor)
{
    return anchor.size() == QSize(1, 1);
}

const ScreenArea &screenHolding(const QPoint &point, const QList<ScreenArea> &screens)
{
    const auto found = std::ranges::find_if(
        screens, [&](const ScreenArea &screen) { return screen.geometry.contains(point); });
    return found != screens.end() ? *found : screens.first();
}

PanelEdge edgeOfStrip(const QRect &strip, const QRect &screen)
{
    if (strip.width() >= strip.height())
        return strip.center().y() < screen.center().y() ? PanelEdge::Top : PanelEdge::Bottom;
    return strip.center().x() < screen.center().x() ? PanelEdge::Left : PanelEdge::Right;
}

// Without a known panel: the screen edge the item is closest to; panels along the top or the
// bottom win a tie, as in a corner, since they are by far the most common.
PanelEdge nearestEdge(const QRect &item, const QRect &screen)
{
    const int top = item.top() - screen.top();
    const int bottom = screen.bottom() - item.bottom();
    const int left = item.left() - screen.left();
    const int right = screen.right() - item.right();
    if (std::min(top, bottom) <= std::min(left, right))
        return top <= bottom ? PanelEdge::Top : PanelEdge::Bottom;
    return left <= right ? PanelEdge::Left : PanelEdge::Right;
}

// What the popover must stay clear of: the item across the panel's whole thickness when the
// panel is known, else the item, grown from a bare click point by an item's extent inwards.
QRect clearOf(const QRect &anchor, const QRect &strip, PanelEdge edge)
{
    const bool horizontal = edge == PanelEdge::Top || edge == PanelEdge::Bottom;
    if (strip.isValid()) {
        return anchor.united(
            horizontal ? QRect(anchor.left(), strip.top(), anchor.width(), strip.height())
                       : QRect(strip.left(), anchor.top(), strip.width(), anchor.height()));
    }
    if (!isClickPoint(anchor))
        return anchor;
    switch (edge) {
    case PanelEdge::Top:
        return anchor.adjusted(0, 0, 0, assumedItemExtent);
    case PanelEdge::Bottom:
        return anchor.adjusted(0, -assumedItemExtent, 0, 0);
    case PanelEdge::Left:
        return anchor.adjusted(0, 0, assumedItemExtent, 0);
    case PanelEdge::Right:
        return anchor.adjusted(-assumedItemExtent, 0, 0, 0);
    }
    return anchor;
}

// Where something of the given size starts to be centred on a span: on its exact middle, half
// a pixel rounded up. QRect::center() rounds down, which would leave a card a pixel left of an
// even-wide item's middle.
int centredOn(int start, int length, int size)
{
    return start + int(std::floor((length - size) / 2.0 + 0.5));
}

// position kept within [low, high - length]; a popover longer than that keeps its low edge.
int clampInto(int position, int length, int low, int high)
{
    return std::max(low, std::min(position, high - length));
}

} // namespace

QList<ScreenArea> ScreenArea::all()
{
    QList<ScreenArea> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->availableGeometry()});
    return screens;
}

QRect panelStripAt(const QPoint &point, const ScreenArea &screen, const QList<QRect> &reserved)
{
    for (const QRect &strip : reserved) {
        if (strip.contains(point))
            return strip;
    }
    const QRect &all = screen.geometry;
    const QRect &free = screen.available;
    if (!all.contains(point) || free.contains(point))
        return {};
    if (point.y() < free.top())
        return QRect(all.left(), all.top(), all.width(), free.top() - all.top());
    if (point.y() > free.bottom())
        return QRect(all.left(), free.bottom() + 1, all.width(), all.bottom() - free.bottom());
    if (point.x() < free.left())
        return QRect(all.left(), all.top(), free.left() - all.left(), all.height());
    return QRect(free.right() + 1, all.top(), all.right() - free.right(), all.height());
}

QRect clickAnchor(const QRect &reported, std::optional<QPoint> pointer,
                  const QList<ScreenArea> &screens, const QList<QRect> &reserved)
{
    const auto onPanel = [&](const QPoint &point) {
        return std::ranges::any_of(screens, [&](const ScreenArea &screen) {
            return panelStripAt(point, screen, reserved).isValid();
        });
    };
    if (!reported.isNull() && onPanel(reported.center()))
        return reported;
    if (pointer && (reported.isNull() || onPanel(*pointer)))
        return QRect(*pointer, QSize(1, 1));
    return reported;
}

QPoint placeBeside(const QRect &anchor, const QSize &size, const QList<ScreenArea> &screens,
                   const QList<QRect> &reserved, Spacing spacing)
{
    const int gap = spacing.gap;
    if (screens.isEmpty())
        return anchor.bottomLeft();
    const ScreenArea &screen = screenHolding(anchor.center(), screens);
    const QRect strip = panelStripAt(anchor.center(), screen, reserved);
    const PanelEdge edge = strip.isValid() ? edgeOfStrip(strip, screen.geometry)
                                           : nearestEdge(anchor, screen.geometry);
    const QRect item = clearOf(anchor, strip, edge);
    const bool horizontal = edge == PanelEdge::Top || edge == PanelEdge::Bottom;
    const int dx = horizontal ? spacing.along : spacing.across;
    const int dy = horizontal ? spacing.across : spacing.along;
    const QRect area = screen.available.adjusted(dx, dy, -dx, -dy);
    const QPoint centred(centredOn(anchor.left(), anchor.width(), size.width()),
                         centredOn(anchor.top(), anchor.height(), size.height()));

    // Along the panel: centred on the item; across it: beside the item. Then pushed back inside
    // the area: where the item's side has no room for the window (a pointer mid-screen taken
    // for the item), the window is better over the item than off the screen.
    QPoint beside = centred;
    switch (edge) {
    case PanelEdge::Top:
        beside.setY(item.bottom() + 1 + gap);
        break;
    case PanelEdge::Bottom:
        beside.setY(item.top() - gap - size.height());
        break;
    case PanelEdge::Left:
        beside.setX(item.right() + 1 + gap);
        break;
    case PanelEdge::Right:
        beside.setX(item.left() - gap - size.width());
        break;
    }
    return {clampInto(beside.x(), size.width(), area.left(), area.right() + 1),
            clampInto(beside.y(), size.height(), area.top(), area.bottom() + 1)};
}

QPoint placeNearTray(const QRect &item, const QSize &size, const QList<ScreenArea> &screens,
                     const QList<QRect> &reserved, Spacing spacing)
{
    if (!item.isNull() || screens.isEmpty())
        return placeBeside(item, size, screens, reserved, spacing);
    const ScreenArea &primary = screens.first();
    const QRect &all = primary.geometry;
    const QRect &free = primary.available;
    // The panel holding one of the corners trays sit near; a top panel is the most common.
    QRect strip;
    for (const QPoint corner : {all.topRight(), all.bottomRight(), all.bottomLeft()}) {
        if ((strip = panelStripAt(corner, primary, reserved)).isValid())
            break;
    }
    if (!strip.isValid())
        return {free.right() + 1 - spacing.along - size.width(), free.top() + spacing.along};
    const int thickness = std::min(strip.width(), strip.height());
    const QRect trayEnd(strip.right() - thickness + 1, strip.bottom() - thickness + 1, thickness,
                        thickness);
    return placeBeside(trayEnd, size, screens, reserved, spacing);
}

} // namespace velmora
