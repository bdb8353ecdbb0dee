#pragma once

namespace velmora {

// Lets assistive technology read every GeoWidgetView: each text it draws, uncut, and the stale
// mark, as nodes of their own where they are drawn. The view draws them all itself, so without
// this a screen reader finds nothing in it. Idempotent.
void installWidgetAccessibility();

} // namespace velmora
