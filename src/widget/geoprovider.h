#pragma once

#include "bytestore.h"
#include "geoclient.h"
#include "geoentry.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>

namespace velmora {

// Answers the widget host's three requests: a placeholder, a snapshot and a timeline. Only a
// timeline looks the address up; it keeps the last good record in the store under "lastGeo"
// and falls back to it, marked stale, when the lookup fails.
class GeoProvider
{
public:
    struct Services
    {
        Fetch fetch = &GeoClient::liveFetch;
        std::shared_ptr<ByteStore> store;
        std::function<QDateTime()> now = &QDateTime::currentDateTimeUtc;
    };

    static constexpr int successReloadSeconds = 15 * 60;
    static constexpr int failureReloadSeconds = 5 * 60;
    static inline const QString cacheKey = QStringLiteral("lastGeo");

    explicit GeoProvider(Services services);

    // No record, not stale: locating. A placed widget never shows an address that is not the
    // user's, so the sample stays in the gallery.
    GeoEntry placeholder() const;
    // A preview (the gallery) shows the sample; otherwise the cached record, or the placeholder
    // when none is cached. Never stale, never looks anything up.
    GeoEntry snapshot(bool isPreview) const;
    // One lookup; does not block the calling thread while it runs. Dates count from the moment
    // of the request. Timelines may overlap: each completes once and the later write wins. With
    // an owner, the lookup ends, failed, as soon as the owner is destroyed.
    QCoro::Task<GeoTimeline> timeline(const QObject *owner = nullptr) const;

    // The record under "lastGeo"; none when nothing is stored or the bytes are not a record.
    std::optional<GeoInfo> cached() const;
    // The record stored as bytes; none when they are not one.
    static std::optional<GeoInfo> cachedRecord(const QByteArray &bytes);

private:
    static QCoro::Task<GeoTimeline> run(Services services, const QObject *owner);
    static std::optional<GeoInfo> cachedIn(const ByteStore &store);

    Services m_services;
};

} // namespace velmora
