#pragma once

#include "appmodel.h"

namespace velmora {

// The real pieces: the kernel's interfaces and routes, the resolver configuration, the
// desktop's autostart and clipboard, the live geolocation providers and speed-test service.
AppModel::Services defaultServices();

} // namespace velmora
