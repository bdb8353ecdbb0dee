#pragma once

#include <QColor>
#include <QString>
#include <QStringView>

#include <optional>

namespace velmora {

// Reads a colour code "#RRGGBB". Every '#' at either end is ignored (only '#', not
// spaces); the rest must be exactly six characters forming one base-16 number, which may
// carry a leading '+' (or a '-' when the value is zero). Gives an opaque sRGB colour.
std::optional<QColor> colorFromHex(QStringView code);

// "#RRGGBB" in upper case, each component scaled to 0-255 and rounded half away from
// zero; alpha is ignored. An invalid colour gives "#FFFFFF".
QString hexString(const QColor &color);

// The WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

} // namespace velmora
