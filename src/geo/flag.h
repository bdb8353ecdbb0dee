#pragma once

#include <QString>

namespace velmora {

// Country flags as emoji, and the two placeholders shown where no flag can be.
namespace Flag {

// U+1F310 globe with meridians: a lookup is running, or a code was not usable.
QString loading();
// U+26A0 U+FE0F warning sign: no network, or the lookup failed with nothing to show.
QString offline();

// The regional-indicator pair of a two-letter code. The code is upper-cased with full
// Unicode case mapping first, so "de" and "DE" agree and "ß" becomes "SS". Anything that is
// not then exactly two letters A to Z gives loading().
QString emoji(const QString &code);

} // namespace Flag
} // namespace velmora
