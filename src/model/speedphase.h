#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace velmora {

// Which step of a speed test is running. The raw values are the status lines shown while
// it runs; the ellipsis is the single character U+2026.
enum class SpeedPhase : quint8 { idle, latency, download, upload };

QString rawValue(SpeedPhase phase);
// The phase whose raw value is exactly raw; the empty text gives idle.
std::optional<SpeedPhase> speedPhaseFromRawValue(QStringView raw);

} // namespace velmora
