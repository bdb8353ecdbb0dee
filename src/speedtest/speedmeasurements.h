#pragma once

#include "result.h"

#include <QString>

#include <QCoro/QCoroTask>

namespace velmora {

// A figure, or the text that says why it could not be measured.
using SpeedOutcome = Result<double, QString>;

// The three measurements of a speed test, each awaited on the calling thread.
class SpeedMeasurements
{
public:
    virtual ~SpeedMeasurements() = default;

    // Round-trip time in milliseconds.
    virtual QCoro::Task<SpeedOutcome> latency() = 0;
    // Decimal megabits per second.
    virtual QCoro::Task<SpeedOutcome> download() = 0;
    virtual QCoro::Task<SpeedOutcome> upload() = 0;
};

} // namespace velmora
