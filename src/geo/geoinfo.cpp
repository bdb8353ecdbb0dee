#include "geoinfo.h"

#include "flag.h"

#include <QJsonValue>

namespace velmora {

namespace {

std::expected<QString, QString> textField(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return std::unexpected(QStringLiteral("Missing key \"%1\"").arg(key));
    if (!value.isString())
        return std::unexpected(QStringLiteral("Key \"%1\" is not a string").arg(key));
    return value.toString();
}

} // namespace

QString GeoInfo::flag() const
{
    return Flag::emoji(countryCode);
}

const GeoInfo &GeoInfo::sample()
{
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const GeoInfo sample{
        .ip = QStringLiteral("203.0.113.42"),
        .country = QStringLiteral("Germany"),
        .countryCode = QStringLiteral("DE"),
        .city = QStringLiteral("Berlin"),
        .isp = QStringLiteral("Deutsche Telekom AG"),
        .asn = QStringLiteral("AS3320"),
        .timezone = QStringLiteral("Europe/Berlin"),
    };
    return sample;
}

QJsonObject GeoInfo::toJson() const
{
    return QJsonObject{
        {QStringLiteral("ip"), ip},
        {QStringLiteral("country"), country},
        {QStringLiteral("countryCode"), countryCode},
        {QStringLiteral("city"), city},
        {QStringLiteral("isp"), isp},
        {QStringLiteral("asn"), asn},
        {QStringLiteral("timezone"), timezone},
        {QStringLiteral("fetchedAt"), fetchedAt.secondsSinceReference()},
    };
}

std::expected<GeoInfo, QString> GeoInfo::fromJson(const QJsonObject &object)
{
    GeoInfo info;
    const std::pair<const char *, QString GeoInfo::*> texts[] = {
        {"ip", &GeoInfo::ip},
        {"country", &GeoInfo::country},
        {"countryCode", &GeoInfo::countryCode},
        {"city", &GeoInfo::city},
        {"isp", &GeoInfo::isp},
        {"asn", &GeoInfo::asn},
        {"timezone", &GeoInfo::timezone},
    };
    for (const auto &[key, member] : texts) {
        auto value = textField(object, QString::fromLatin1(key));
        if (!value)
            return std::unexpected(value.error());
        info.*member = *value;
    }

    const QJsonValue fetchedAt = object.value(QStringLiteral("fetchedAt"));
    if (fetchedAt.isUndefined())
        return std::unexpected(QStringLiteral("Missing key \"fetchedAt\""));
    if (!fetchedAt.isDouble())
        return std::unexpected(QStringLiteral("Key \"fetchedAt\" is not a number"));
    info.fetchedAt = Timestamp::fromSecondsSinceReference(fetchedAt.toDouble());
    return info;
}

} // namespace velmora
