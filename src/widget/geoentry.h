#pragma once

#include "geoinfo.h"

#include <QDateTime>

#include <optional>

namespace velmora {

// One entry of the widget's timeline: what to draw from `date` on.
struct GeoEntry
{
    QDateTime date{};
    // None only after a failed lookup with nothing usable cached.
    std::optional<GeoInfo> geo{};
    // True only when geo came from the cache because the lookup failed.
    bool isStale = false;
};

// A timeline holds exactly one entry and the earliest date the next one is wanted.
struct GeoTimeline
{
    GeoEntry entry{};
    QDateTime reloadAfter{};
};

} // namespace velmora
