#include "fuzzing.h"

#include "placements.h"

using namespace velmora;

// Any widget configuration file loads, and what it loaded is saved and loaded again unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const PlacementStore store(fuzzing::file(QStringLiteral("widgets.json"), data, size));
    const QList<WidgetPlacement> placements = store.load();
    fuzzing::require((store.save(placements) || placements.isEmpty()) &&
                     store.load() == placements);
    return 0;
}
