#include "speedworker.h"

#include "throughput.h"
#include "transfermeter.h"

#include <algorithm>
#include <array>
#include <optional>

using namespace std::chrono_literals;

namespace velmora::detail {

namespace {

// A hard deadline on a whole request, behind the cap: an answer that trickles in keeps no
// inactivity time-out from ending it.
constexpr auto resourceTimeout = 10s;

size_t discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

SpeedOutcome measureLatency(const RequestOptions &options, StopSignal &stop)
{
    CurlRequest request(options);
    if (request.setupProblem())
        return std::unexpected(*request.setupProblem());
    curl_easy_setopt(request.handle(), CURLOPT_WRITEFUNCTION, &discard);
    // One loop for all four requests: the warm-up opens the connection the others reuse.
    TransferLoop loop(stop);

    // Why one GET failed, or nothing when an answer came, whatever its status.
    const auto probe = [&]() -> std::optional<QString> {
        if (loop.isStopped())
            return stoppedText();
        const TransferLoop::Ending ending =
            loop.run(request.handle(), TransferLoop::Clock::now() + resourceTimeout);
        switch (ending.how) {
        case TransferLoop::End::completed:
            if (ending.code == CURLE_OK)
                return std::nullopt;
            return request.errorText(ending.code);
        case TransferLoop::End::deadline:
            return QStringLiteral("Timed out: the request took longer than %1 seconds")
                .arg(std::chrono::seconds(resourceTimeout).count());
        case TransferLoop::End::stopped:
            break;
        }
        return stoppedText();
    };

    // How the warm-up ends is ignored.
    probe();
    std::array<double, 3> samples{};
    for (double &sample : samples) {
        const auto start = TransferLoop::Clock::now();
        if (const std::optional<QString> failure = probe())
            return std::unexpected(*failure);
        sample =
            std::chrono::duration<double, std::milli>(TransferLoop::Clock::now() - start).count();
    }
    std::ranges::sort(samples);
    return samples[1];
}

SpeedOutcome measureTransfer(const RequestOptions &options, std::chrono::milliseconds cap,
                             StopSignal &stop)
{
    if (stop.isStopped())
        return std::unexpected(stoppedText());
    CurlRequest request(options);
    if (request.setupProblem())
        return std::unexpected(*request.setupProblem());
    TransferMeter meter(request);
    TransferLoop loop(stop);
    const TransferOutcome outcome = meter.run(loop, cap, resourceTimeout);
    if (!outcome)
        return std::unexpected(outcome.error());
    return Throughput::mbps(outcome->bytes, outcome->seconds);
}

} // namespace

SpeedWorker::SpeedWorker()
    : m_thread([this] { runJobs(); })
{}

SpeedWorker::~SpeedWorker()
{
    m_stop.stop();
    {
        const std::lock_guard lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SpeedWorker::latency(RequestOptions options, Resolve done)
{
    post([this, options = std::move(options), done = std::move(done)] {
        done(measureLatency(options, m_stop));
    });
}

void SpeedWorker::transfer(RequestOptions options, std::chrono::milliseconds cap, Resolve done)
{
    post([this, options = std::move(options), cap, done = std::move(done)] {
        done(measureTransfer(options, cap, m_stop));
    });
}

void SpeedWorker::post(std::function<void()> job)
{
    {
        const std::lock_guard lock(m_lock);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void SpeedWorker::runJobs()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        // Once stopped, each job left resolves at once as stopped.
        job();
    }
}

} // namespace velmora::detail

extern "C" Q_DECL_EXPORT velmora::detail::MeasurementRunner *velmora_make_measurement_runner()
{
    return new velmora::detail::SpeedWorker;
}
