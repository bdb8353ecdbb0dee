#pragma once

#include "preferences.h"

namespace velmora {

// Applies a theme to the whole running application; the platform part of
// Preferences::applyTheme().
class Appearance
{
public:
    virtual ~Appearance();
    // system must follow the surrounding desktop; light and dark must look different.
    virtual void apply(Preferences::Theme theme) = 0;
};

} // namespace velmora
