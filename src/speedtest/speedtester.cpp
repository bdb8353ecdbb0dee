#include "speedtester.h"

#include "speedworker.h"

#include <QCoreApplication>

#include <QCoro/QCoroFuture>

using namespace std::chrono_literals;

namespace velmora {

namespace {

// Takes the future before its first suspension: the tester may be gone when it resumes.
QCoro::Task<SpeedOutcome> awaitOutcome(QFuture<SpeedOutcome> outcome)
{
    co_return co_await outcome;
}

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
    if (!m_worker)
        return;
    m_worker.reset();
    // The outcomes are in; an awaiter on this thread learns of its own through a posted
    // call-out of its future, delivered here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::FutureCallOut);
}

detail::SpeedWorker &SpeedTester::worker()
{
    // Most sessions never run a test: no idle thread for them.
    if (!m_worker)
        m_worker = std::make_unique<detail::SpeedWorker>();
    return *m_worker;
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

QCoro::Task<SpeedOutcome> SpeedTester::latency()
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    worker().latency(request("/__down?bytes=0"), std::move(done));
    return awaitOutcome(std::move(outcome));
}

QCoro::Task<SpeedOutcome> SpeedTester::download()
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    worker().transfer(request("/__down?bytes=25000000"), m_cap, std::move(done));
    return awaitOutcome(std::move(outcome));
}

QCoro::Task<SpeedOutcome> SpeedTester::upload()
{
    RequestOptions options = request("/__up");
    options.uploadBytes = uploadBytes;
    // The upload's own request allows a minute without progress; the cap ends it sooner.
    options.inactivity = 60s;
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    worker().transfer(std::move(options), m_cap, std::move(done));
    return awaitOutcome(std::move(outcome));
}

} // namespace velmora
