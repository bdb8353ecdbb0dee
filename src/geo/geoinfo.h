#pragma once

#include "timestamp.h"

#include <QJsonObject>
#include <QString>

#include "result.h"

namespace velmora {

// One public-IP geolocation result. A value the provider did not give is empty text.
struct GeoInfo
{
    QString ip{};
    QString country{};
    QString countryCode{};
    QString city{};
    QString isp{};
    QString asn{};
    QString timezone{};
    Timestamp fetchedAt = Timestamp::now();

    // Flag::emoji of countryCode.
    QString flag() const;

    // A fixed record (a documentation-range address in Berlin) for placeholders; built once,
    // on first use, which is also its fetchedAt.
    static const GeoInfo &sample();

    // The stored form: the eight fields keyed by their names, "fetchedAt" as a number of
    // seconds since 2001-01-01T00:00:00Z.
    QJsonObject toJson() const;
    // Needs all eight keys with their JSON types; other keys are ignored. The error says
    // which key was missing or mistyped.
    static std::expected<GeoInfo, QString> fromJson(const QJsonObject &object);

    // Equal only when all eight fields are, fetchedAt included.
    friend bool operator==(const GeoInfo &, const GeoInfo &) = default;
};

} // namespace velmora
