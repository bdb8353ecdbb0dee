#include "fuzzing.h"

#include "geoclient.h"
#include "jsonfields.h"

#include <QJsonDocument>

#include <algorithm>

using namespace velmora;

// Whatever either provider answers, a record made of it survives its stored form, and each of
// its texts is plain: bounded, without control or direction-override characters, whole pairs.
bool isPlain(const QString &text)
{
    if (text.size() > JsonFields::maxTextLength + 1 ||
        (!text.isEmpty() && text.back().isHighSurrogate()))
        return false;
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e) ||
               (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
    });
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = fuzzing::bytes(data, size);
    for (const GeoResult &result : {GeoClient::parseIpwhois(body), GeoClient::parseIpapi(body)}) {
        if (!result)
            continue;
        const auto again = GeoInfo::fromJson(
            QJsonDocument::fromJson(QJsonDocument(result->toJson()).toJson()).object());
        fuzzing::require(again && *again == *result && !result->flag().isEmpty());
        for (const QString &text : {result->ip, result->country, result->countryCode, result->city,
                                    result->isp, result->asn, result->timezone})
            fuzzing::require(isPlain(text));
    }
    return 0;
}
