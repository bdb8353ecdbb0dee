#pragma once

#include "appearance.h"

#include <QPalette>
#include <QString>

namespace velmora {

// Themes the application with the Fusion style: a light or a dark palette, or, for system,
// whatever style and palette the desktop gave the application before the first change.
// Construct it after QApplication and before anything changes the style or palette.
class FusionAppearance final : public Appearance
{
public:
    FusionAppearance();

    void apply(Preferences::Theme theme) override;

    static QPalette lightPalette();
    static QPalette darkPalette();

private:
    QString m_systemStyle;
    QPalette m_systemPalette;
};

} // namespace velmora
