#pragma once

#include "appmodel.h"

namespace velmora {

// The real pieces: the kernel's interfaces and routes, the resolver configuration, the
// desktop's autostart and clipboard, the live geolocation providers and speed-test service,
// and logind's word on sleep.
AppModel::Services defaultServices();

} // namespace velmora
