#pragma once

#include "preferences.h"

#include <QString>

namespace velmora {

// How the traffic graph's scale and peaks read, in the unit chosen in the settings.
namespace Shown {

struct TrafficScale
{
    double ceiling = 0; // bytes per second at the top of the graph
    QString label{};    // "20 Mb/s"
};

// The graph's scale: from 0 to the smallest 1, 2 or 5 times a power of ten in the unit that
// holds peak, and at least 1 K of the unit, so that a stray packet does not fill the graph.
TrafficScale trafficScale(double peakBytesPerSecond, Preferences::SpeedUnit unit);
// "Peak ↓ 12.3 Mb/s  ↑ 1.2 Mb/s", two spaces between the directions.
QString trafficPeak(double downloadBytesPerSecond, double uploadBytesPerSecond,
                    Preferences::SpeedUnit unit);
// The graph's accessible name.
QString trafficGraphName();
// In place of the peaks while live speeds are off and the popover has not been open long.
QString trafficShownWhileOpen();

} // namespace Shown
} // namespace velmora
