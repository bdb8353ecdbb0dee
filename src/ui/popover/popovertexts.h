#pragma once

#include "geoinfo.h"
#include "geostate.h"
#include "speedphase.h"
#include "speedresult.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

class Preferences;

// The texts the popover derives from the model, as plain functions. Every missing value
// shows as placeholder(), the em dash alone.
namespace PopoverTexts {

QString placeholder();

// The record to show: the loaded one, or while loading or after a failure the last good one,
// if any. So a failed refresh leaves the previous record on screen.
std::optional<GeoInfo> currentGeo(const GeoState &state, const std::optional<GeoInfo> &lastGeo);

// The country of the record, which may be empty; without one "Locating…" online and
// "Offline" offline.
QString title(const std::optional<GeoInfo> &geo, bool isOnline);
// The city, or the placeholder when there is none.
QString subtitle(const std::optional<GeoInfo> &geo);
// "Copied" while the address has just been copied, else the address or the placeholder.
QString publicIP(const std::optional<GeoInfo> &geo, bool ipCopied);
// The ISP and the autonomous system joined by " · ", empty ones left out.
QString isp(const std::optional<GeoInfo> &geo);
// The first three servers, one per line.
QString dns(const QStringList &servers);
QString timezone(const std::optional<GeoInfo> &geo);

// "%.0f ms", printf rounding, whatever the locale.
QString latency(const std::optional<SpeedResult> &result);
// Preferences::formatMbps of the figure, so in the unit chosen in the settings.
QString download(const std::optional<SpeedResult> &result, const Preferences &prefs);
QString upload(const std::optional<SpeedResult> &result, const Preferences &prefs);
// "Last run " and the local time of the result in locale's short style, hours and minutes.
QString lastRun(const SpeedResult &result, const QLocale &locale = QLocale());
// Beside the Run test button: the phase while a test runs, else the last run of the result,
// else nothing (empty).
QString speedStatus(SpeedPhase phase, const std::optional<SpeedResult> &result,
                    const QLocale &locale = QLocale());

} // namespace PopoverTexts
} // namespace velmora
