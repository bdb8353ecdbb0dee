#pragma once

#include "geoerror.h"
#include "geoinfo.h"
#include "result.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <expected>
#include <functional>

namespace velmora {

using FetchResult = Result<QByteArray, GeoError>;
// One request: a URL in, the body out; ended at once, as a failure, when owner (if any) is
// destroyed. Replaceable so that tests and the self-test can answer from memory.
using Fetch = std::function<QCoro::Task<FetchResult>(QUrl, const QObject *owner)>;
using GeoResult = Result<GeoInfo, GeoError>;

// Finds the public address and its geolocation, asking the primary provider first and the
// fallback provider only when the primary fails.
class GeoClient
{
public:
    GeoClient();
    explicit GeoClient(Fetch fetch);

    // Fails only with GeoError::allProvidersFailed, whose texts name each provider and why.
    // At most two requests, one after the other; no retry. A lookup with an owner ends when
    // the owner is destroyed: the request under way is aborted and no other provider is asked.
    QCoro::Task<GeoResult> lookup(const QObject *owner = nullptr) const;

    static GeoResult parseIpwhois(const QByteArray &body);
    static GeoResult parseIpapi(const QByteArray &body);

    // GET with no cache and "User-Agent: Velmora/1.0", given up after timeoutMsecs without data
    // or deadlineMsecs in all. A status outside 200-299 fails with badResponse "HTTP <code> from
    // <host>"; a body over maxBodyBytes fails with badResponse naming the host; transport
    // failures keep Qt's text.
    static QCoro::Task<FetchResult> liveFetch(QUrl url, const QObject *owner = nullptr);

    static QUrl primaryURL();
    static QUrl fallbackURL();
    static QString primaryLabel();
    static QString fallbackLabel();

    static constexpr int timeoutMsecs = 8000;
    static constexpr int deadlineMsecs = 15000;
    static constexpr qint64 maxBodyBytes = 1024 * 1024;

private:
    Fetch m_fetch;
};

} // namespace velmora
