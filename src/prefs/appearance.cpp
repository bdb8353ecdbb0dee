#include "appearance.h"

namespace velmora {

Appearance::~Appearance() = default;

} // namespace velmora
