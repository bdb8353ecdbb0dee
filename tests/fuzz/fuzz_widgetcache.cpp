#include "fuzzing.h"

#include "geoprovider.h"

using namespace velmora;

// Whatever is cached under "lastGeo" reads as a record or as none, and the widget's snapshot
// always has one to show.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzing::file(GeoProvider::cacheKey, data, size);
    const GeoProvider provider(
        {.store = std::make_shared<DirectoryStore>(fuzzing::directory().path())});
    const std::optional<GeoInfo> cached = provider.cached();
    fuzzing::require(provider.snapshot(false).geo == cached.value_or(GeoInfo::sample()));
    return 0;
}
