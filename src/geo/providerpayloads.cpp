#include "providerpayloads.h"

#include "jsonfields.h"

namespace velmora {

namespace {

// Reads fields one after the other and keeps the first error, so a payload is decoded
// whole or not at all.
class FieldReader
{
public:
    explicit FieldReader(QJsonObject object, QString path = {})
        : m_object(std::move(object))
        , m_path(std::move(path))
    {}

    template<typename T, typename Reader>
    void read(const char *key, std::optional<T> &out, Reader reader)
    {
        if (m_error)
            return;
        auto field = reader(m_object, QString::fromLatin1(key), m_path);
        if (field)
            out = *field;
        else
            m_error = field.error();
    }

    void text(const char *key, std::optional<QString> &out) { read(key, out, &JsonFields::text); }
    void boolean(const char *key, std::optional<bool> &out)
    {
        read(key, out, &JsonFields::boolean);
    }
    void integer(const char *key, std::optional<qint64> &out)
    {
        read(key, out, &JsonFields::integer);
    }
    void object(const char *key, std::optional<QJsonObject> &out)
    {
        read(key, out, &JsonFields::object);
    }

    void adopt(const std::optional<GeoError> &error)
    {
        if (!m_error)
            m_error = error;
    }
    const std::optional<GeoError> &error() const { return m_error; }

private:
    QJsonObject m_object;
    QString m_path;
    std::optional<GeoError> m_error;
};

} // namespace

std::expected<IpwhoisPayload, GeoError> IpwhoisPayload::decode(const QByteArray &body)
{
    const auto object = JsonFields::parseObject(body);
    if (!object)
        return std::unexpected(object.error());

    IpwhoisPayload payload;
    FieldReader reader(*object);
    std::optional<QJsonObject> connection;
    std::optional<QJsonObject> timezone;
    reader.boolean("success", payload.success);
    reader.text("message", payload.message);
    reader.text("ip", payload.ip);
    reader.text("country", payload.country);
    reader.text("country_code", payload.countryCode);
    reader.text("city", payload.city);
    reader.object("connection", connection);
    reader.object("timezone", timezone);

    if (connection) {
        Connection decoded;
        FieldReader nested(*connection, QStringLiteral("connection"));
        nested.integer("asn", decoded.asn);
        nested.text("isp", decoded.isp);
        nested.text("org", decoded.org);
        reader.adopt(nested.error());
        payload.connection = decoded;
    }
    if (timezone) {
        Timezone decoded;
        FieldReader nested(*timezone, QStringLiteral("timezone"));
        nested.text("id", decoded.id);
        reader.adopt(nested.error());
        payload.timezone = decoded;
    }
    if (reader.error())
        return std::unexpected(*reader.error());
    return payload;
}

std::expected<IpapiPayload, GeoError> IpapiPayload::decode(const QByteArray &body)
{
    const auto object = JsonFields::parseObject(body);
    if (!object)
        return std::unexpected(object.error());

    IpapiPayload payload;
    FieldReader reader(*object);
    reader.text("ip", payload.ip);
    reader.text("city", payload.city);
    reader.text("country_name", payload.countryName);
    reader.text("country_code", payload.countryCode);
    reader.text("timezone", payload.timezone);
    reader.text("asn", payload.asn);
    reader.text("org", payload.org);
    reader.boolean("error", payload.error);
    reader.text("reason", payload.reason);
    if (reader.error())
        return std::unexpected(*reader.error());
    return payload;
}

} // namespace velmora
