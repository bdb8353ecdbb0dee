#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace velmora {

// Where a popover of size goes for an item at anchor (global coordinates) on a screen whose
// usable area is available: centred on the item, on the side of the item that faces the
// screen's interior (below an item in the upper half, above one in the lower half), and
// always wholly inside available, pushed back in where the item sits near an edge.
QPoint popoverPosition(const QRect &anchor, const QSize &size, const QRect &available);

} // namespace velmora
