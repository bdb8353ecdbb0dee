#include "replyerrors.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace velmora {

QString transportErrorText(const QNetworkReply &reply)
{
    // Qt 6.4 ends an expired transfer timeout with abort(). Whoever else aborts knows why and
    // says so itself.
    const int timeout = reply.request().transferTimeout();
    if (reply.error() == QNetworkReply::OperationCanceledError && timeout > 0) {
        const QString host = reply.url().host();
        return QStringLiteral("Timed out: no data from %1 for %2 seconds")
            .arg(host.isEmpty() ? QStringLiteral("server") : host)
            .arg(timeout / 1000);
    }
    return reply.errorString();
}

bool failedInTransport(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return false;
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return true;
    // Qt's codes for answers with a 4xx or 5xx status.
    const bool statusError =
        (error >= QNetworkReply::ContentAccessDenied &&
         error <= QNetworkReply::UnknownContentError) ||
        (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
    return !statusError;
}

QString badServerResponseText(int status)
{
    return QStringLiteral("Bad server response (HTTP %1)").arg(status);
}

} // namespace velmora
