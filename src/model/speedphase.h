#pragma once

#include <QString>

namespace velmora {

// Which step of a speed test is running. The raw values are the status lines shown while
// it runs; the ellipsis is the single character U+2026.
enum class SpeedPhase : quint8 { idle, latency, download, upload };

QString rawValue(SpeedPhase phase);

} // namespace velmora
