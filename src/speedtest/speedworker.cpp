#include "speedworker.h"

#include "replyerrors.h"
#include "throughput.h"
#include "transfermeter.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroTask>

#include <algorithm>
#include <array>

using namespace std::chrono_literals;

namespace velmora::detail {

namespace {

constexpr auto latencyTimeout = 8s;
constexpr auto downloadTimeout = 8s;
constexpr auto uploadTimeout = 60s;
// A hard deadline on a whole transfer, behind the cap.
constexpr auto resourceTimeout = 10s;

QString stoppedText()
{
    return QStringLiteral("The speed test was stopped");
}

QNetworkRequest requestFor(const QUrl &url, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    // Compressed answers would make the bytes counted differ from the bytes moved.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    return request;
}

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        // Abort first so no signal reaches a coroutine frame that is going away.
        reply->disconnect(reply);
        reply->abort();
        reply->deleteLater();
    }
};

// One measurement in progress on the worker's thread; a child of the worker until it ends.
class Measurement : public QObject
{
public:
    using QObject::QObject;
    // Ends the measurement at once and resolves it.
    virtual void stop() = 0;
};

class LatencyProbe final : public Measurement
{
public:
    LatencyProbe(const QUrl &url, std::shared_ptr<Completion> done, QObject *parent)
        : Measurement(parent)
        , m_access(new QNetworkAccessManager(this))
        , m_request(requestFor(url, latencyTimeout))
        , m_done(std::move(done))
    {}

    void start() { run(); }

    void stop() override
    {
        m_stopped = true;
        if (m_current)
            m_current->abort(); // resumes the probe at once
    }

private:
    QCoro::Task<> run()
    {
        // The warm-up opens the connection the timed requests reuse; how it ends is ignored.
        co_await probe();
        std::array<double, 3> samples{};
        for (double &sample : samples) {
            QElapsedTimer clock;
            clock.start();
            if (const std::optional<QString> failure = co_await probe()) {
                m_done->resolve(std::unexpected(*failure));
                deleteLater();
                co_return;
            }
            sample = double(clock.nsecsElapsed()) / 1e6;
        }
        std::ranges::sort(samples);
        m_done->resolve(samples[1]);
        deleteLater();
    }

    // Why one GET failed, or nothing when an answer came, whatever its status.
    QCoro::Task<std::optional<QString>> probe()
    {
        if (m_stopped)
            co_return stoppedText();
        std::unique_ptr<QNetworkReply, ReplyDeleter> reply(m_access->get(m_request));
        m_current = reply.get();
        co_await reply.get();
        m_current = nullptr;
        if (m_stopped)
            co_return stoppedText();
        if (failedInTransport(*reply))
            co_return transportErrorText(*reply);
        co_return std::nullopt;
    }

    QNetworkAccessManager *m_access;
    QNetworkRequest m_request;
    std::shared_ptr<Completion> m_done;
    QPointer<QNetworkReply> m_current;
    bool m_stopped = false;
};

class Transfer final : public Measurement
{
public:
    Transfer(const QUrl &url, std::optional<QByteArray> body, std::chrono::milliseconds cap,
             std::shared_ptr<Completion> done, QObject *parent)
        : Measurement(parent)
        , m_access(new QNetworkAccessManager(this))
        , m_meter(new TransferMeter(this))
        , m_body(std::move(body))
    {
        QNetworkRequest request = requestFor(url, m_body ? uploadTimeout : downloadTimeout);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        // Qt otherwise reports upload progress at most every 100 ms, and the cap would take a
        // total up to that old.
        request.setAttribute(QNetworkRequest::EmitAllUploadProgressSignalsAttribute, true);
        if (m_body)
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/octet-stream"));

        QFuture<TransferOutcome> measured = m_meter->run(
            [&] { return m_body ? m_access->post(request, *m_body) : m_access->get(request); },
            cap);
        QTimer::singleShot(resourceTimeout, m_meter, [meter = m_meter] {
            meter->abort(QStringLiteral("Timed out: the transfer took longer than %1 seconds")
                             .arg(std::chrono::seconds(resourceTimeout).count()));
        });
        // The first continuation runs where the meter resolves, so stopAll() resolves every
        // transfer before it returns. A future takes one continuation only: the clean-up follows
        // on the first one's future.
        measured
            .then([done = std::move(done)](const TransferOutcome &outcome) {
                if (outcome)
                    done->resolve(Throughput::mbps(outcome->bytes, outcome->seconds));
                else
                    done->resolve(std::unexpected(outcome.error()));
            })
            .then(this, [this] { deleteLater(); });
    }

    ~Transfer() override
    {
        // The meter's reply goes before the access manager that made it.
        delete m_meter;
    }

    void stop() override { m_meter->abort(stoppedText()); }

private:
    QNetworkAccessManager *m_access;
    TransferMeter *m_meter;
    std::optional<QByteArray> m_body;
};

} // namespace

Completion::Completion()
{
    m_promise.start();
}

Completion::~Completion()
{
    resolve(std::unexpected(stoppedText()));
}

QFuture<SpeedOutcome> Completion::future()
{
    return m_promise.future();
}

void Completion::resolve(const SpeedOutcome &outcome)
{
    if (m_resolved.exchange(true))
        return;
    m_promise.addResult(outcome);
    m_promise.finish();
}

void SpeedWorker::latency(const QUrl &url, std::shared_ptr<Completion> done)
{
    auto *probe = new LatencyProbe(url, std::move(done), this);
    probe->start();
}

void SpeedWorker::transfer(const QUrl &url, std::optional<QByteArray> body,
                           std::chrono::milliseconds cap, std::shared_ptr<Completion> done)
{
    new Transfer(url, std::move(body), cap, std::move(done), this);
}

void SpeedWorker::stopAll()
{
    // Stopping one may change the children meanwhile.
    const QList<QPointer<QObject>> running(children().cbegin(), children().cend());
    for (const QPointer<QObject> &child : running) {
        if (auto *measurement = dynamic_cast<Measurement *>(child.data()))
            measurement->stop();
    }
}

} // namespace velmora::detail
