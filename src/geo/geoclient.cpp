#include "geoclient.h"

#include "providerpayloads.h"

#include <QPointer>

namespace velmora {

namespace {

using Parser = GeoResult (*)(const QByteArray &);

QCoro::Task<GeoResult> ask(Fetch fetch, QUrl url, Parser parse, const QObject *owner)
{
    const FetchResult body = co_await fetch(std::move(url), owner);
    if (!body)
        co_return std::unexpected(body.error());
    co_return parse(*body);
}

// Takes the fetch function by value: the client may be gone while a lookup is suspended.
QCoro::Task<GeoResult> lookupWith(Fetch fetch, const QObject *owner)
{
    const QPointer<const QObject> ownerAlive(owner);
    QStringList failures;
    const GeoResult primary =
        co_await ask(fetch, GeoClient::primaryURL(), &GeoClient::parseIpwhois, owner);
    if (primary)
        co_return primary;
    failures << GeoClient::primaryLabel() + QStringLiteral(": ") +
                    primary.error().errorDescription();
    if (owner && !ownerAlive)
        co_return std::unexpected(GeoError::allProvidersFailed(failures));

    const GeoResult fallback =
        co_await ask(fetch, GeoClient::fallbackURL(), &GeoClient::parseIpapi, owner);
    if (fallback)
        co_return fallback;
    failures << GeoClient::fallbackLabel() + QStringLiteral(": ") +
                    fallback.error().errorDescription();
    co_return std::unexpected(GeoError::allProvidersFailed(failures));
}

GeoError reportedFailure(const std::optional<QString> &reason, const QString &label)
{
    return GeoError::badResponse(reason.value_or(label + QStringLiteral(" reported failure")));
}

GeoError missingIpOrCountry()
{
    return GeoError::badResponse(QStringLiteral("Missing ip/country"));
}

} // namespace

GeoClient::GeoClient()
    : m_fetch(&GeoClient::liveFetch)
{}

GeoClient::GeoClient(Fetch fetch)
    : m_fetch(std::move(fetch))
{}

QCoro::Task<GeoResult> GeoClient::lookup(const QObject *owner) const
{
    return lookupWith(m_fetch, owner);
}

QUrl GeoClient::primaryURL()
{
    static const QUrl url(QStringLiteral("https://ipwho.is/"));
    return url;
}

QUrl GeoClient::fallbackURL()
{
    static const QUrl url(QStringLiteral("https://ipapi.co/json/"));
    return url;
}

QString GeoClient::primaryLabel()
{
    return QStringLiteral("ipwho.is");
}

QString GeoClient::fallbackLabel()
{
    return QStringLiteral("ipapi.co");
}

GeoResult GeoClient::parseIpwhois(const QByteArray &body)
{
    const auto payload = IpwhoisPayload::decode(body);
    if (!payload)
        return std::unexpected(payload.error());
    if (payload->success == false)
        return std::unexpected(reportedFailure(payload->message, primaryLabel()));
    if (!payload->ip || !payload->countryCode)
        return std::unexpected(missingIpOrCountry());

    GeoInfo info{
        .ip = *payload->ip,
        .country = payload->country.value_or(*payload->countryCode),
        .countryCode = *payload->countryCode,
        .city = payload->city.value_or(QString()),
    };
    if (const auto &connection = payload->connection) {
        info.isp = connection->isp.value_or(connection->org.value_or(QString()));
        if (connection->asn)
            info.asn = QStringLiteral("AS") + QString::number(*connection->asn);
    }
    if (payload->timezone)
        info.timezone = payload->timezone->id.value_or(QString());
    return info;
}

GeoResult GeoClient::parseIpapi(const QByteArray &body)
{
    const auto payload = IpapiPayload::decode(body);
    if (!payload)
        return std::unexpected(payload.error());
    if (payload->error == true)
        return std::unexpected(reportedFailure(payload->reason, fallbackLabel()));
    if (!payload->ip || !payload->countryCode)
        return std::unexpected(missingIpOrCountry());

    return GeoInfo{
        .ip = *payload->ip,
        .country = payload->countryName.value_or(*payload->countryCode),
        .countryCode = *payload->countryCode,
        .city = payload->city.value_or(QString()),
        .isp = payload->org.value_or(QString()),
        .asn = payload->asn.value_or(QString()),
        .timezone = payload->timezone.value_or(QString()),
    };
}

} // namespace velmora
