#include "speedtester.h"

#include "networkaccess.h"
#include "speedworker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <QCoro/QCoroFuture>

#include <functional>

namespace velmora {

namespace {

using Worker = detail::SpeedWorker;
using Done = std::shared_ptr<detail::Completion>;

// Hands one measurement to the worker thread and awaits its outcome on this thread. Takes
// everything it needs before its first suspension: the tester may be gone when it resumes.
QCoro::Task<SpeedOutcome> onWorker(Worker *worker, std::function<void(Worker *, Done)> start)
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    QMetaObject::invokeMethod(
        worker,
        [worker, start = std::move(start), done = std::move(done)]() mutable {
            start(worker, std::move(done));
        },
        Qt::QueuedConnection);
    co_return co_await outcome;
}

} // namespace

QUrl SpeedTester::defaultBase()
{
    return QUrl(QStringLiteral("https://speed.cloudflare.com"));
}

SpeedTester::SpeedTester(QUrl base, std::chrono::milliseconds cap)
    : m_base(std::move(base))
    , m_cap(cap)
{
    useSystemProxy();
}

SpeedTester::~SpeedTester()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_worker, &detail::SpeedWorker::stopAll,
                              Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    // The outcomes are in; an awaiter on this thread learns of its own through a posted
    // call-out of its future, delivered here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::FutureCallOut);
}

detail::SpeedWorker *SpeedTester::worker()
{
    // Most sessions never run a test: no idle thread for them.
    if (!m_thread) {
        m_thread = std::make_unique<QThread>();
        m_thread->setObjectName(QStringLiteral("speedtest"));
        m_worker = new detail::SpeedWorker;
        m_worker->moveToThread(m_thread.get());
        QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread->start();
    }
    return m_worker;
}

QUrl SpeedTester::endpoint(QByteArrayView pathAndQuery) const
{
    QByteArray origin = m_base.toEncoded();
    while (origin.endsWith('/'))
        origin.chop(1);
    return QUrl::fromEncoded(origin + pathAndQuery.toByteArray());
}

QCoro::Task<SpeedOutcome> SpeedTester::latency()
{
    return onWorker(worker(), [url = endpoint("/__down?bytes=0")](Worker *worker, Done done) {
        worker->latency(url, std::move(done));
    });
}

QCoro::Task<SpeedOutcome> SpeedTester::download()
{
    return onWorker(worker(), [url = endpoint("/__down?bytes=25000000"),
                               cap = m_cap](Worker *worker, Done done) {
        worker->transfer(url, std::nullopt, cap, std::move(done));
    });
}

QCoro::Task<SpeedOutcome> SpeedTester::upload()
{
    return onWorker(worker(), [url = endpoint("/__up"), cap = m_cap](Worker *worker, Done done) {
        worker->transfer(url, QByteArray(uploadBytes, '\0'), cap, std::move(done));
    });
}

} // namespace velmora
