#include "speedtester.h"

#include "measurementrunner.h"

#include <QCoreApplication>
#include <QFuture>
#include <QPromise>

#include <QCoro/QCoroFuture>

#include <atomic>

using namespace std::chrono_literals;

namespace velmora {

namespace {

// Resolves one measurement exactly once, from any thread. Dropped unresolved, it resolves as
// stopped, so whoever awaits its future always resumes.
class Completion
{
public:
    Completion() { m_promise.start(); }
    ~Completion() { resolve(std::unexpected(stoppedText())); }
    Completion(const Completion &) = delete;
    Completion &operator=(const Completion &) = delete;

    QFuture<SpeedOutcome> future() { return m_promise.future(); }
    void resolve(const SpeedOutcome &outcome)
    {
        if (m_resolved.exchange(true))
            return;
        m_promise.addResult(outcome);
        m_promise.finish();
    }

private:
    QPromise<SpeedOutcome> m_promise;
    std::atomic<bool> m_resolved = false;
};

} // namespace

QUrl SpeedTester::defaultBase()
{
    return QUrl(QStringLiteral("https://speed.cloudflare.com"));
}

SpeedTester::SpeedTester(QUrl base, std::chrono::milliseconds cap, QByteArray extraAuthorities)
    : m_base(std::move(base))
    , m_cap(cap)
    , m_extraAuthorities(std::move(extraAuthorities))
{}

SpeedTester::~SpeedTester()
{
    if (!m_runner)
        return;
    m_runner.reset();
    // The outcomes are in; an awaiter on this thread learns of its own through a posted
    // call-out of its future, delivered here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::FutureCallOut);
}

RequestOptions SpeedTester::request(QByteArrayView pathAndQuery) const
{
    QByteArray origin = m_base.toEncoded();
    while (origin.endsWith('/'))
        origin.chop(1);
    return {.url = QUrl::fromEncoded(origin + pathAndQuery.toByteArray()),
            .inactivity = 8s,
            .extraAuthorities = m_extraAuthorities};
}

QCoro::Task<SpeedOutcome> SpeedTester::measure(RequestOptions options,
                                               std::optional<std::chrono::milliseconds> cap)
{
    // Most sessions never run a test: no transfer code and no idle thread for them.
    if (!m_runner && m_unavailable.isEmpty()) {
        auto loaded = detail::loadMeasurementRunner();
        if (loaded)
            m_runner = std::move(*loaded);
        else
            m_unavailable = loaded.error();
    }
    if (!m_runner)
        co_return std::unexpected(m_unavailable);
    auto done = std::make_shared<Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    detail::Resolve resolve = [done = std::move(done)](const SpeedOutcome &result) {
        done->resolve(result);
    };
    if (cap)
        m_runner->transfer(std::move(options), *cap, std::move(resolve));
    else
        m_runner->latency(std::move(options), std::move(resolve));
    // Nothing of the tester is touched from here on: it may be gone when this resumes.
    co_return co_await outcome;
}

QCoro::Task<SpeedOutcome> SpeedTester::latency()
{
    return measure(request("/__down?bytes=0"), std::nullopt);
}

QCoro::Task<SpeedOutcome> SpeedTester::download()
{
    return measure(request("/__down?bytes=25000000"), m_cap);
}

QCoro::Task<SpeedOutcome> SpeedTester::upload()
{
    RequestOptions options = request("/__up");
    options.uploadBytes = uploadBytes;
    // The upload's own request allows a minute without progress; the cap ends it sooner.
    options.inactivity = 60s;
    return measure(std::move(options), m_cap);
}

} // namespace velmora
