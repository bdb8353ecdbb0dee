#include "transfermeter.h"

#include "replyerrors.h"

#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <utility>

namespace velmora {

namespace {

// How much Qt may hold for us between two reads: without a limit, a fast download piles up in
// Qt's buffers whenever this thread falls behind.
constexpr qint64 readBufferBytes = 1024 * 1024;

QString stoppedText()
{
    return QStringLiteral("The measurement was stopped");
}

} // namespace

TransferMeter::TransferMeter(QObject *parent)
    : QObject(parent)
{
    m_start.start();
    m_cap.setSingleShot(true);
    m_cap.setTimerType(Qt::PreciseTimer);
    connect(&m_cap, &QTimer::timeout, this, [this] {
        // Nothing moved at all is no rate of 0: the service did not answer in time.
        const QString host = m_reply ? m_reply->url().host() : QString();
        finish(QStringLiteral("Timed out: no data %1 %2 in %3 seconds")
                   .arg(m_countsReceived ? QStringLiteral("from") : QStringLiteral("to"),
                        host.isEmpty() ? QStringLiteral("the server") : host,
                        QString::number(double(m_cap.interval()) / 1000)));
        if (m_reply && !m_reply->isFinished()) {
            m_abortError = stoppedText();
            m_reply->abort();
        }
    });
}

TransferMeter::~TransferMeter()
{
    finish(stoppedText());
    if (m_reply) {
        // Only our own connections are cut: Qt's carry the abort to its network thread.
        m_reply->disconnect(this);
        // Aborting a reply twice makes Qt report its error twice.
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
    }
}

QFuture<TransferOutcome> TransferMeter::run(const std::function<QNetworkReply *()> &start,
                                            std::chrono::milliseconds cap)
{
    QFuture<TransferOutcome> future;
    {
        QMutexLocker lock(&m_lock);
        m_continuation.emplace();
        m_continuation->start();
        future = m_continuation->future();
        m_start.start();
    }
    QNetworkReply *reply = start();
    m_reply = reply;
    // The request's method decides, so the answer to an upload is never counted.
    m_countsReceived = reply->operation() == QNetworkAccessManager::GetOperation;
    reply->setReadBufferSize(readBufferBytes);
    connect(reply, &QIODevice::readyRead, this, &TransferMeter::drain);
    connect(reply, &QNetworkReply::uploadProgress, this,
            [this](qint64 bytesSent, qint64) { sent(bytesSent); });
    connect(reply, &QNetworkReply::finished, this, &TransferMeter::completed);
    m_cap.start(cap);
    return future;
}

void TransferMeter::finish(const std::optional<QString> &error)
{
    std::optional<QPromise<TransferOutcome>> continuation;
    TransferFigures figures;
    {
        QMutexLocker lock(&m_lock);
        if (!m_continuation)
            return;
        continuation = std::exchange(m_continuation, std::nullopt);
        figures = {m_bytes, double(m_start.nsecsElapsed()) / 1e9};
    }
    // Resolved outside the lock: continuations run right here.
    if (error && figures.bytes == 0)
        continuation->addResult(TransferOutcome(std::unexpected(*error)));
    else
        continuation->addResult(TransferOutcome(figures));
    continuation->finish();
}

void TransferMeter::abort(const QString &error)
{
    m_abortError = error;
    if (m_reply && !m_reply->isFinished())
        m_reply->abort(); // completes at once, with m_abortError
    finish(error);
}

qint64 TransferMeter::bytes() const
{
    QMutexLocker lock(&m_lock);
    return m_bytes;
}

void TransferMeter::drain()
{
    if (!m_reply || !m_reply->isOpen())
        return;
    // Only the length matters; the bytes are dropped where Qt buffered them.
    qint64 arrived = 0;
    for (qint64 skipped; (skipped = m_reply->skip(m_reply->bytesAvailable())) > 0;)
        arrived += skipped;
    if (!m_countsReceived || arrived == 0)
        return;
    QMutexLocker lock(&m_lock);
    m_bytes += arrived;
}

void TransferMeter::sent(qint64 total)
{
    // A GET counts what it receives instead.
    if (m_countsReceived)
        return;
    QMutexLocker lock(&m_lock);
    // Qt 6.4 ends an upload with a report of 0 of 0; the total sent never goes down otherwise.
    m_bytes = std::max(m_bytes, total);
}

void TransferMeter::completed()
{
    drain();
    m_cap.stop();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        finish(badServerResponseText(status.toInt()));
    else if (m_reply->error() == QNetworkReply::OperationCanceledError && !m_abortError.isEmpty())
        finish(m_abortError);
    else if (m_reply->error() != QNetworkReply::NoError)
        finish(transportErrorText(*m_reply));
    else
        finish();
}

} // namespace velmora
