#include "fuzzing.h"

#include "geoprovider.h"

#include <QJsonDocument>

using namespace velmora;

// Whatever is cached under "lastGeo" reads as none or as a record that keeps each of its
// eight fields exactly as stored.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<GeoInfo> cached = GeoProvider::cachedRecord(fuzzing::bytes(data, size));
    const QJsonObject stored = QJsonDocument::fromJson(fuzzing::bytes(data, size)).object();
    const QJsonObject record = cached ? cached->toJson() : QJsonObject();
    fuzzing::require(std::ranges::all_of(
        record.keys(), [&](const QString &key) { return record[key] == stored[key]; }));
    return 0;
}
