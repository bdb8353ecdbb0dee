#pragma once

#include "geoinfo.h"

#include <QDateTime>

#include <optional>

namespace velmora {

// One entry of the widget's timeline: what to draw from `date` on.
struct GeoEntry
{
    QDateTime date{};
    // None before the first lookup has ended with nothing cached, or after a failed lookup
    // with nothing usable cached.
    std::optional<GeoInfo> geo{};
    // True when the lookup failed: geo, if any, came from the cache.
    bool isStale = false;

    // No record yet and no lookup failed: the widget is still finding out, and shows no address.
    bool isLocating() const { return !geo && !isStale; }
};

// A timeline holds exactly one entry and the earliest date the next one is wanted.
struct GeoTimeline
{
    GeoEntry entry{};
    QDateTime reloadAfter{};
};

} // namespace velmora
