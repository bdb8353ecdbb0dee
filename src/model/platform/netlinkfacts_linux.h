#pragma once

#include <QByteArrayList>

struct nl_cache;

namespace velmora {

// The kernel's network state as far as it can change where traffic goes, one line a fact,
// sorted: links with their state and kind, addresses, and the routes and policy rules of every
// table. Lifetimes, expiry times and counters are left out, so a renewed lease or a router's
// repeated advertisement reads the same as before.
QByteArrayList netlinkFacts(nl_cache *links, nl_cache *addresses, nl_cache *routes,
                            nl_cache *rules);

} // namespace velmora
