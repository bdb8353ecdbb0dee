#include "traffictexts.h"

#include <QCoreApplication>

#include <cmath>

using namespace Qt::StringLiterals;

namespace velmora::Shown {

TrafficScale trafficScale(double peakBytesPerSecond, Preferences::SpeedUnit unit)
{
    const double perByte = unit == Preferences::SpeedUnit::bits ? 8 : 1;
    const double peak = peakBytesPerSecond > 0 ? peakBytesPerSecond * perByte : 0;
    double ceiling = 1000;
    // Steps of 1, 2, 5: a few dozen at most up to the largest rates a link carries.
    for (int step = 0; ceiling < peak && std::isfinite(ceiling); ++step)
        ceiling *= step % 3 == 1 ? 2.5 : 2;
    const double bytes = ceiling / perByte;
    // The ceiling is a whole number of its unit: "20 Mb/s", not "20.0 Mb/s".
    return {bytes, Preferences::formatRate(bytes, unit).replace(u".0 "_s, u" "_s)};
}

QString trafficPeak(double downloadBytesPerSecond, double uploadBytesPerSecond,
                    Preferences::SpeedUnit unit)
{
    //: The highest download (↓) and upload (↑) rates of the graph, two spaces between them.
    return QCoreApplication::translate("Popover", "Peak ↓ %1  ↑ %2")
        .arg(Preferences::formatRate(downloadBytesPerSecond, unit),
             Preferences::formatRate(uploadBytesPerSecond, unit));
}

QString trafficGraphName()
{
    // What TrafficHistory holds: 300 samples, one a second.
    constexpr int minutes = 5;
    return QCoreApplication::translate("Popover", "Traffic in the last %n minutes", nullptr,
                                       minutes);
}

QString trafficShownWhileOpen()
{
    //: In place of the peak rates: with live speeds off, rates are sampled only while the popover
    //: is open.
    return QCoreApplication::translate("Popover", "Shown while the popover is open");
}

} // namespace velmora::Shown
