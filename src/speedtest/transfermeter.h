#pragma once

#include "result.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QPromise>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkReply;

namespace velmora {

// What one transfer moved and for how long.
struct TransferFigures
{
    qint64 bytes = 0;
    double seconds = 0;
};

using TransferOutcome = Result<TransferFigures, QString>;

// Counts the bytes of one transfer as they move, without keeping them, and ends its
// measurement when the transfer completes or when the cap is reached, whichever comes first.
// Lives on the thread that makes the reply; finish() and bytes() may be called from any thread.
class TransferMeter : public QObject
{
public:
    explicit TransferMeter(QObject *parent = nullptr);
    // Resolves a measurement still waiting (with the bytes so far, or as stopped when there are
    // none) and aborts the transfer.
    ~TransferMeter() override;

    // Starts the clock, then calls start, which makes and returns the transfer's reply; the
    // meter takes the reply over. Counted: the bytes received when the request is a GET, else
    // the request body bytes sent; nothing else, so the answer to an upload is not counted.
    // The future gets exactly one result: the figures, or the transfer's error when it failed
    // before anything was counted. At cap the figures so far are taken, or a time-out error
    // when nothing was counted, and the transfer is aborted. Call once.
    QFuture<TransferOutcome> run(const std::function<QNetworkReply *()> &start,
                                 std::chrono::milliseconds cap);

    // Resolves the measurement with the figures so far, or with error when one is given and
    // nothing was counted. Only the first call has an effect. Thread-safe.
    void finish(const std::optional<QString> &error = std::nullopt);

    // Ends the transfer now; when that leaves nothing counted, the measurement fails with error.
    void abort(const QString &error);

    // Bytes counted so far. Thread-safe.
    qint64 bytes() const;

private:
    void drain();
    void sent(qint64 total);
    void completed();

    mutable QMutex m_lock; // guards m_bytes, m_start and m_continuation
    qint64 m_bytes = 0;
    QElapsedTimer m_start;
    std::optional<QPromise<TransferOutcome>> m_continuation;

    // Used on the meter's thread only.
    QPointer<QNetworkReply> m_reply;
    QTimer m_cap;
    QString m_abortError;
    bool m_countsReceived = false;
};

} // namespace velmora
