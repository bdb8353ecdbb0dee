#pragma once

#include <QtGlobal>

namespace velmora::Throughput {

// Decimal megabits per second (10^6 bit/s) for a byte count over a duration; 0 when the
// duration is not positive (or not a number) or fewer than one byte moved.
constexpr double mbps(qint64 bytes, double seconds)
{
    if (!(seconds > 0) || bytes < 1)
        return 0;
    return double(bytes) * 8 / seconds / 1'000'000;
}

} // namespace velmora::Throughput
