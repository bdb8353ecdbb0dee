#pragma once

#include "geoinfo.h"

#include <QString>

#include <optional>

namespace velmora {

// The status item's tool tip: "<country> · <IP>" for a record, "Velmora" without one. A part
// the provider left empty is left out with its separator.
QString statusToolTip(const std::optional<GeoInfo> &record);

} // namespace velmora
