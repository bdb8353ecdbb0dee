#include "fuzzing.h"

#include "placements.h"

using namespace velmora;

// Any widget configuration reads as a list or as none, and a list read is written and read
// again unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QList<WidgetPlacement>> placements =
        placementsFromJson(fuzzing::bytes(data, size));
    fuzzing::require(!placements || placementsFromJson(placementsJson(*placements)) == placements);
    return 0;
}
