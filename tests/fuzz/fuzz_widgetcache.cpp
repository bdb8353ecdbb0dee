#include "fuzzing.h"

#include "geoprovider.h"

#include <QJsonDocument>

using namespace velmora;

// Whatever is cached under "lastGeo" reads as a record or as none; a record reads back the same
// once stored again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzzing::file(GeoProvider::cacheKey, data, size);
    auto store = std::make_shared<DirectoryStore>(QFileInfo(path).absolutePath());
    const std::optional<GeoInfo> cached = GeoProvider({.store = store}).cached();
    if (cached)
        fuzzing::require(
            store->set(GeoProvider::cacheKey, QJsonDocument(cached->toJson()).toJson()) &&
            GeoProvider({.store = store}).cached() == cached);
    return 0;
}
