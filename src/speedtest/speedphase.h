#pragma once

#include <QtGlobal>

namespace velmora {

// Which step of a speed test is running; the steps are also what a failed run names.
enum class SpeedPhase : quint8 { idle, latency, download, upload };

} // namespace velmora
