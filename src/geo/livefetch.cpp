#include "geoclient.h"

#include "networkaccess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <QCoro/QCoroNetworkReply>

#include <memory>

namespace velmora {

namespace {

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        // Abort first so no signal reaches a coroutine frame that is being destroyed. Only the
        // connections made with the reply as context (ours and the awaiter's) are cut: Qt's own
        // carry the abort to the network thread, which otherwise reads on in the background.
        reply->disconnect(reply);
        if (!reply->isFinished())
            reply->abort();
        reply->deleteLater();
    }
};

QString hostOf(const QUrl &url)
{
    return url.host().isEmpty() ? QStringLiteral("server") : url.host();
}

} // namespace

QCoro::Task<FetchResult> GeoClient::liveFetch(QUrl url, const QObject *owner)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Velmora/1.0"));
    request.setTransferTimeout(timeoutMsecs);
    // Qt keeps a host's connection for two minutes after its last request, and with it a TLS
    // context that stores the session of every handshake made on it: refreshes less than two
    // minutes apart (network changes, a user clicking) would keep it, and its sessions, for good.
    // Lookups are minutes apart, so a kept connection saves little.
    request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute, 0);

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(threadNetworkAccess().get(request));
    // Without a limit Qt's network thread reads ahead of us as fast as the server sends, so an
    // endless answer piles up in memory before drain sees the bound. Smaller limits slow Qt down.
    reply->setReadBufferSize(maxBodyBytes + 1);
    QByteArray body;
    bool tooLarge = false;
    // Read as data arrives so an endless or huge answer is cut off at the bound instead of
    // piling up in memory.
    const auto drain = [&, raw = reply.get()] {
        if (!raw->isOpen()) // aborted
            return;
        body += raw->read(maxBodyBytes + 1 - body.size());
        if (body.size() > maxBodyBytes && !tooLarge) {
            tooLarge = true;
            if (!raw->isFinished()) // aborting a finished reply only makes Qt warn
                raw->abort();
        }
    };
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), drain);
    // A failing status is the whole answer: the page that comes with it is not read, however
    // long it runs. Redirects (3xx) may still be followed, so they are left to Qt.
    QObject::connect(
        reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [raw = reply.get()] {
            const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (status.isValid() && status.toInt() >= 400 && !raw->isFinished())
                raw->abort();
        });
    // The inactivity timeout never fires for a server that drips a byte every few seconds;
    // without a deadline such a server would hold this refresh, and every later one, for good.
    bool pastDeadline = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [&pastDeadline, raw = reply.get()] {
        pastDeadline = true;
        if (!raw->isFinished())
            raw->abort();
    });
    deadline.start(deadlineMsecs);
    // Its owner gone, the request ends here and now: left to the network manager, the reply
    // would be deleted at exit without ever finishing, and the frames awaiting it never freed.
    bool abandoned = false;
    if (owner)
        QObject::connect(owner, &QObject::destroyed, &deadline, [&abandoned, raw = reply.get()] {
            abandoned = true;
            if (!raw->isFinished())
                raw->abort();
        });

    co_await reply.get();
    deadline.stop();
    drain();

    // The status comes first: a failing answer's size says nothing about why it failed.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 299)
            co_return std::unexpected(GeoError::badResponse(
                QStringLiteral("HTTP %1 from %2").arg(code).arg(hostOf(url))));
    }
    if (tooLarge)
        co_return std::unexpected(
            GeoError::badResponse(QStringLiteral("Answer from %1 is larger than %2 bytes")
                                      .arg(hostOf(url))
                                      .arg(maxBodyBytes)));
    if (abandoned)
        co_return std::unexpected(GeoError::transport(QStringLiteral("Abandoned")));
    if (pastDeadline)
        co_return std::unexpected(
            GeoError::transport(QStringLiteral("Timed out: no complete answer from %1 within %2 "
                                               "seconds")
                                    .arg(hostOf(url))
                                    .arg(deadlineMsecs / 1000)));
    // Qt 6.4 ends a transfer timeout with a plain abort, reported as "Operation canceled". We
    // abort only for tooLarge, an owner gone and the deadline, handled above, so a cancel here is
    // the timeout.
    if (reply->error() == QNetworkReply::OperationCanceledError)
        co_return std::unexpected(
            GeoError::transport(QStringLiteral("Timed out: no data from %1 for %2 seconds")
                                    .arg(hostOf(url))
                                    .arg(timeoutMsecs / 1000)));
    if (reply->error() != QNetworkReply::NoError)
        co_return std::unexpected(GeoError::transport(reply->errorString()));

    co_return body;
}

} // namespace velmora
