#include "speedtester.h"

#include "speedworker.h"

#include <QMetaObject>
#include <QNetworkProxyFactory>
#include <QThread>

#include <QCoro/QCoroFuture>

namespace velmora {

namespace {

void useSystemProxy()
{
    static const bool once = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    Q_UNUSED(once);
}

} // namespace

QUrl SpeedTester::defaultBase()
{
    return QUrl(QStringLiteral("https://speed.cloudflare.com"));
}

SpeedTester::SpeedTester(QUrl base, std::chrono::milliseconds cap)
    : m_base(std::move(base))
    , m_cap(cap)
    , m_thread(std::make_unique<QThread>())
    , m_worker(new detail::SpeedWorker)
{
    useSystemProxy();
    m_thread->setObjectName(QStringLiteral("speedtest"));
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

SpeedTester::~SpeedTester()
{
    QMetaObject::invokeMethod(m_worker, &detail::SpeedWorker::stopAll,
                              Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

QUrl SpeedTester::endpoint(QByteArrayView pathAndQuery) const
{
    QByteArray origin = m_base.toEncoded();
    while (origin.endsWith('/'))
        origin.chop(1);
    return QUrl::fromEncoded(origin + pathAndQuery.toByteArray());
}

// Each measurement takes what it needs from the tester before its first suspension: the
// tester may be gone by the time it resumes.

QCoro::Task<SpeedOutcome> SpeedTester::latency()
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, url = endpoint("/__down?bytes=0"), done = std::move(done)]() mutable {
            worker->latency(url, std::move(done));
        },
        Qt::QueuedConnection);
    co_return co_await outcome;
}

QCoro::Task<SpeedOutcome> SpeedTester::download()
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, url = endpoint("/__down?bytes=25000000"), cap = m_cap,
         done = std::move(done)]() mutable {
            worker->transfer(url, std::nullopt, cap, std::move(done));
        },
        Qt::QueuedConnection);
    co_return co_await outcome;
}

QCoro::Task<SpeedOutcome> SpeedTester::upload()
{
    auto done = std::make_shared<detail::Completion>();
    QFuture<SpeedOutcome> outcome = done->future();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, url = endpoint("/__up"), cap = m_cap,
         done = std::move(done)]() mutable {
            worker->transfer(url, QByteArray(uploadBytes, '\0'), cap, std::move(done));
        },
        Qt::QueuedConnection);
    co_return co_await outcome;
}

} // namespace velmora
