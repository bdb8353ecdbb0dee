#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

namespace velmora {

// Whether the panel behind the tray item is dark or light, when something tells.
enum class PanelShade { Unknown, Dark, Light };

// Where a desktop's panel colour can be learned, since StatusNotifierItem hosts do not say.
enum class PanelRule {
    // The panel is dark in every scheme the desktop offers.
    Dark,
    // The panel is light in every scheme.
    Light,
    // The Plasma theme's own colours, else the colour scheme's (plasmarc, kdeglobals).
    PlasmaTheme,
    // The panels' dark mode, else the GTK theme's name (xfconf).
    XfcePanel,
    // Nothing readable here: the portal's colour scheme and the desktop palette decide.
    Unknown,
};

// The rule for the desktop that XDG_CURRENT_DESKTOP names (a colon-separated list, most
// specific first).
PanelRule panelRuleFor(const QString &currentDesktop);

// Dark when white text contrasts more with background than black text does.
PanelShade shadeOf(const QColor &background);
// White on a dark panel, black on a light one; at least 4.58:1 whatever the background.
QColor textColorFor(PanelShade shade);
// The first source that knows: the desktop's own settings, the portal's colour scheme, then
// the desktop palette's window colour.
PanelShade panelShade(PanelShade desktop, PanelShade portal, const QColor &paletteWindow);

// Whether a GTK theme name is a dark theme or a theme's dark variant: "Adwaita-dark",
// "Yaru-prussiangreen-dark", "Adwaita:dark".
bool isDarkGtkTheme(const QString &name);

// The panel colour of the Plasma theme that configDir's plasmarc names, looked up in
// dataDirs (each holding plasma/desktoptheme/): the theme's own colours when it brings them,
// else the colour scheme in configDir's kdeglobals, else Plasma's default Breeze.
QColor plasmaPanelColor(const QString &configDir, const QStringList &dataDirs);

// The most common colour of image outside except, to 4 bits a channel, averaged over its
// pixels: the background of a picture of text, or of a panel with text on it. Invalid when no
// pixel counts.
QColor dominantColor(const QImage &image, const QRect &except = {});

} // namespace velmora
