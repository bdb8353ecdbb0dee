#pragma once

#include "preferences.h"

#include <QPalette>
#include <QString>

namespace velmora {

// Themes the application with the Fusion style: a light or a dark palette, or, for system,
// whatever style and palette the desktop gave the application before the first change.
// Construct it after QApplication and before anything changes the style or palette.
class FusionAppearance final
{
public:
    FusionAppearance();

    // system must follow the surrounding desktop; light and dark look different.
    void apply(Preferences::Theme theme);

    static QPalette lightPalette();
    static QPalette darkPalette();

private:
    QString m_systemStyle;
    QPalette m_systemPalette;
};

} // namespace velmora
