#pragma once

#include "geoerror.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <optional>

namespace velmora {

// The primary provider's answer. Every field is optional; keys are the names below.
struct IpwhoisPayload
{
    struct Connection
    {
        std::optional<qint64> asn;
        std::optional<QString> isp;
        std::optional<QString> org;
    };
    struct Timezone
    {
        std::optional<QString> id;
    };

    std::optional<bool> success;
    std::optional<QString> message;
    std::optional<QString> ip;
    std::optional<QString> country;
    std::optional<QString> countryCode; // "country_code"
    std::optional<QString> city;
    std::optional<Connection> connection;
    std::optional<Timezone> timezone;

    static std::expected<IpwhoisPayload, GeoError> decode(const QByteArray &body);
};

// The fallback provider's answer.
struct IpapiPayload
{
    std::optional<QString> ip;
    std::optional<QString> city;
    std::optional<QString> countryName; // "country_name"
    std::optional<QString> countryCode; // "country_code"
    std::optional<QString> timezone;
    std::optional<QString> asn; // already "AS" and digits
    std::optional<QString> org;
    std::optional<bool> error;
    std::optional<QString> reason;

    static std::expected<IpapiPayload, GeoError> decode(const QByteArray &body);
};

} // namespace velmora
