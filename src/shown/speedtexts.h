#pragma once

#include "speedphase.h"
#include "speedresult.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

namespace velmora {

class Preferences;

// How a speed test's figures and progress read in the popover; a missing figure shows as the
// placeholder.
namespace Shown {

// "%.0f ms", printf rounding, whatever the locale.
QString latency(const std::optional<SpeedResult> &result);
// Preferences::formatMbps of the figure, so in the unit chosen in the settings.
QString download(const std::optional<SpeedResult> &result, const Preferences &prefs);
QString upload(const std::optional<SpeedResult> &result, const Preferences &prefs);
// "Last run " and the local time of the result in locale's short style, hours and minutes.
QString lastRun(const SpeedResult &result, const QLocale &locale = QLocale());
// Beside the Run test button: the phase while a test runs ("Testing download…"), else the last
// run of the result, else nothing (empty).
QString speedStatus(SpeedPhase phase, const std::optional<SpeedResult> &result,
                    const QLocale &locale = QLocale());
// "Failed: " and the failed steps in their order; none when no step failed.
std::optional<QString> speedFailure(const QList<SpeedPhase> &failedSteps);

} // namespace Shown
} // namespace velmora
