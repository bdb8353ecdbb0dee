#include "statusrecord.h"

#include <QMetaType>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Each field once: its property name and where it lives in the record.
template<typename Record, typename Visit> void forEachField(Record &record, Visit visit)
{
    visit(u"DownloadRate"_s, record.downloadRate);
    visit(u"UploadRate"_s, record.uploadRate);
    visit(u"Online"_s, record.online);
    visit(u"ConnectionType"_s, record.connectionType);
    visit(u"LocalIP"_s, record.localIP);
    visit(u"PublicIP"_s, record.publicIP);
    visit(u"CountryCode"_s, record.countryCode);
    visit(u"Country"_s, record.country);
    visit(u"City"_s, record.city);
    visit(u"ISP"_s, record.isp);
    visit(u"TimeZone"_s, record.timeZone);
    visit(u"VpnLikely"_s, record.vpnLikely);
    visit(u"GeoState"_s, record.geoState);
    visit(u"GeoError"_s, record.geoError);
    visit(u"SpeedUnit"_s, record.speedUnit);
}

} // namespace

QVariantMap StatusRecord::toProperties() const
{
    QVariantMap properties;
    forEachField(*this, [&](const QString &name, const auto &field) {
        properties.insert(name, QVariant::fromValue(field));
    });
    return properties;
}

StatusRecord StatusRecord::fromProperties(const QVariantMap &properties)
{
    StatusRecord record;
    forEachField(record, [&](const QString &name, auto &field) {
        using Field = std::remove_reference_t<decltype(field)>;
        const QVariant value = properties.value(name);
        if (value.metaType() == QMetaType::fromType<Field>())
            field = value.value<Field>();
    });
    return record;
}

QJsonObject StatusRecord::toJson() const
{
    QJsonObject json;
    forEachField(*this, [&](const QString &name, const auto &field) {
        json.insert(name, QJsonValue(field));
    });
    return json;
}

} // namespace velmora
