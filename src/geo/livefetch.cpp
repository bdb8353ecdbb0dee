#include "geoclient.h"

#include "networkaccess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoro/QCoroNetworkReply>

#include <memory>

namespace velmora {

namespace {

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        // Abort first so no signal reaches a coroutine frame that is being destroyed.
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
    }
};

QString hostOf(const QUrl &url)
{
    return url.host().isEmpty() ? QStringLiteral("server") : url.host();
}

} // namespace

QCoro::Task<FetchResult> GeoClient::liveFetch(QUrl url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Velmora/1.0"));
    request.setTransferTimeout(timeoutMsecs);

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(threadNetworkAccess().get(request));
    QByteArray body;
    bool tooLarge = false;
    // Read as data arrives so an endless or huge answer is cut off at the bound instead of
    // piling up in memory.
    const auto drain = [&, raw = reply.get()] {
        body += raw->read(maxBodyBytes + 1 - body.size());
        if (body.size() > maxBodyBytes && !tooLarge) {
            tooLarge = true;
            raw->abort();
        }
    };
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), drain);

    co_await reply.get();
    drain();

    if (tooLarge)
        co_return std::unexpected(GeoError::badResponse(
            QStringLiteral("Answer from %1 is larger than %2 bytes").arg(hostOf(url)).arg(maxBodyBytes)));

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 299)
            co_return std::unexpected(
                GeoError::badResponse(QStringLiteral("HTTP %1 from %2").arg(code).arg(hostOf(url))));
    }
    if (reply->error() != QNetworkReply::NoError)
        co_return std::unexpected(GeoError::transport(reply->errorString()));

    co_return body;
}

} // namespace velmora
