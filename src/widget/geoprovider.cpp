#include "geoprovider.h"

#include <QJsonDocument>

namespace velmora {

GeoProvider::GeoProvider(Services services)
    : m_services(std::move(services))
{}

GeoEntry GeoProvider::placeholder() const
{
    return {.date = m_services.now(), .geo = std::nullopt, .isStale = false};
}

GeoEntry GeoProvider::snapshot(bool isPreview) const
{
    GeoEntry entry = placeholder();
    entry.geo = isPreview ? GeoInfo::sample() : cached();
    return entry;
}

QCoro::Task<GeoTimeline> GeoProvider::timeline(const QObject *owner) const
{
    // The task keeps its own copy of the services, so it outlives nothing it needs.
    return run(m_services, owner);
}

std::optional<GeoInfo> GeoProvider::cached() const
{
    return cachedIn(*m_services.store);
}

QCoro::Task<GeoTimeline> GeoProvider::run(Services services, const QObject *owner)
{
    const QDateTime now = services.now();
    // A named client, not a temporary in the co_await: GCC 12 has mishandled temporaries
    // that live across a suspension.
    const GeoClient client(services.fetch);
    const GeoResult result = co_await client.lookup(owner);
    if (result) {
        // A record that cannot be stored is still shown; the cache keeps its older value.
        if (const auto stored = services.store->set(
                cacheKey, QJsonDocument(result->toJson()).toJson(QJsonDocument::Compact));
            !stored)
            qWarning("velmora-widget: cannot keep the record for later (%s)",
                     qPrintable(stored.error()));
        co_return GeoTimeline{.entry = {.date = now, .geo = *result, .isStale = false},
                              .reloadAfter = now.addSecs(successReloadSeconds)};
    }
    // The error itself is dropped: the stale mark or the offline view is all the widget shows.
    co_return GeoTimeline{.entry = {.date = now, .geo = cachedIn(*services.store), .isStale = true},
                          .reloadAfter = now.addSecs(failureReloadSeconds)};
}

std::optional<GeoInfo> GeoProvider::cachedIn(const ByteStore &store)
{
    const std::optional<QByteArray> bytes = store.data(cacheKey);
    return bytes ? cachedRecord(*bytes) : std::nullopt;
}

std::optional<GeoInfo> GeoProvider::cachedRecord(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    std::expected<GeoInfo, QString> decoded = GeoInfo::fromJson(document.object());
    if (!decoded)
        return std::nullopt;
    return *std::move(decoded);
}

} // namespace velmora
