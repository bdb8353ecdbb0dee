#include "fuzzing.h"

#include "geoinfo.h"

#include <QJsonDocument>

using namespace velmora;

// A stored record reads back as the same record once written again; anything else is refused
// with a reason.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonObject object = QJsonDocument::fromJson(fuzzing::bytes(data, size)).object();
    const Result<GeoInfo, QString> info = GeoInfo::fromJson(object);
    if (!info) {
        fuzzing::require(!info.error().isEmpty());
        return 0;
    }
    const QByteArray stored = QJsonDocument(info->toJson()).toJson(QJsonDocument::Compact);
    const Result<GeoInfo, QString> again =
        GeoInfo::fromJson(QJsonDocument::fromJson(stored).object());
    fuzzing::require(again && *again == *info);
    return 0;
}
