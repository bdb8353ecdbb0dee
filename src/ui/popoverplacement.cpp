#include "popoverplacement.h"

#include <algorithm>

namespace velmora {

namespace {

// Space between the item and the popover, so the popover does not cover the panel's edge.
constexpr int gap = 4;

int clampInto(int position, int length, int start, int available)
{
    // A popover larger than the screen keeps its start edge visible.
    return std::max(start, std::min(position, start + available - length));
}

} // namespace

QPoint popoverPosition(const QRect &anchor, const QSize &size, const QRect &available)
{
    const QPoint centre = anchor.center();
    const int x = centre.x() - size.width() / 2;
    const bool below = centre.y() < available.center().y();
    const int y = below ? anchor.bottom() + 1 + gap : anchor.top() - gap - size.height();
    return {clampInto(x, size.width(), available.left(), available.width()),
            clampInto(y, size.height(), available.top(), available.height())};
}

} // namespace velmora
