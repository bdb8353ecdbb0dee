#pragma once

#include "timestamp.h"

#include <optional>

namespace velmora {

// The figures of one speed test; a step that failed leaves its figure absent.
struct SpeedResult
{
    std::optional<double> latencyMs{};
    std::optional<double> downloadMbps{};
    std::optional<double> uploadMbps{};
    // When the run ended (set at its start, then again at its end).
    Timestamp date = Timestamp::now();

    friend bool operator==(const SpeedResult &, const SpeedResult &) = default;
};

} // namespace velmora
