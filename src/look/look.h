#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace velmora {

// The named text styles of the popover. Sizes are relative to the application font, which
// stands for the body style: title3 1.25, subheadline and callout 0.92, caption 0.83,
// caption2 0.75, and the text of small buttons 0.85.
enum class TextStyle { title3, subheadline, body, callout, caption, caption2, smallControl };

QFont textFont(TextStyle style, QFont::Weight weight = QFont::Normal);
// The system's fixed-pitch family at the style's size.
QFont monospacedFont(TextStyle style = TextStyle::body);
// A flag or other emoji glyph of the given size in points where the body is 13 (the popover's
// header flag is 44), in the colour emoji font.
QFont flagFont(double points = 44);
// The colour emoji font at 16 pixels, the tray title's size.
QFont titleFont();

// Colours derived from the palette in use, so that they read in light and dark themes.
enum class Tint {
    secondary, // the text colour at reduced opacity
    orange,    // notices and errors, 4.5:1 on the window
    blue,      // the VPN badge
};

// True when the palette's window colour is dark.
bool isDark(const QPalette &palette);
QColor tintColor(Tint tint, const QPalette &palette, QPalette::ColorGroup group = QPalette::Active);
// The hairline between a card and its surroundings.
QColor separatorColor(const QPalette &palette);
// The frame of a control (check box, radio button, segmented control): halfway between text
// and window, so that it stands out 3:1 or more against the window in light and dark.
QColor controlFrameColor(const QPalette &palette, QPalette::ColorGroup group = QPalette::Active);

// Gives widget's text (and its children's, which inherit it) the tint's colour, now and
// again whenever the palette it inherits changes, for instance on a switch to dark.
void setTint(QWidget *widget, Tint tint);

} // namespace velmora
