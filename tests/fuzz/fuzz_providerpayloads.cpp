#include "fuzzing.h"

#include "geoclient.h"

#include <QJsonDocument>

using namespace velmora;

// Whatever either provider answers, a record made of it survives its stored form.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = fuzzing::bytes(data, size);
    for (const GeoResult &result : {GeoClient::parseIpwhois(body), GeoClient::parseIpapi(body)}) {
        if (!result)
            continue;
        const auto again = GeoInfo::fromJson(
            QJsonDocument::fromJson(QJsonDocument(result->toJson()).toJson()).object());
        fuzzing::require(again && *again == *result && !result->flag().isEmpty());
    }
    return 0;
}
