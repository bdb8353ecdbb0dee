#pragma once

#include <QPoint>

namespace velmora {

class TrayItem;

// The item's menu lines in a popup of its own at at (global logical coordinates), for trays
// that do not draw the published menu; each chosen line is item's menuActionTriggered.
void popUpTrayMenu(TrayItem &item, QPoint at);

} // namespace velmora
