#include "widgethost.h"

#include <QPointer>

namespace velmora {

namespace {

// Hands the timeline to the host unless the host has gone meanwhile.
QCoro::Task<> deliver(QPointer<QObject> guard, QCoro::Task<GeoTimeline> task,
                      std::function<void(const GeoTimeline &)> apply)
{
    const GeoTimeline timeline = co_await std::move(task);
    if (guard)
        apply(timeline);
}

} // namespace

WidgetHost::WidgetHost(GeoProvider provider, Timings timings,
                       std::unique_ptr<SleepWatcher> sleepWatcher, QObject *parent)
    : QObject(parent)
    , m_provider(std::move(provider))
    , m_timings(std::move(timings))
    , m_sleepWatcher(std::move(sleepWatcher))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WidgetHost::scheduleReload);
    if (m_sleepWatcher)
        connect(m_sleepWatcher.get(), &SleepWatcher::resumed, this, [this] {
            // Nothing to reload before the first timeline has said when.
            if (m_nextReload.isValid() && !m_requesting)
                scheduleReload();
        });
}

void WidgetHost::start()
{
    if (m_sleepWatcher)
        m_sleepWatcher->start();
    m_entry = m_provider.snapshot(false);
    Q_EMIT entryChanged();
    requestTimeline();
}

void WidgetHost::requestTimeline()
{
    if (m_requesting)
        return;
    m_requesting = true;
    // The lookup runs on this thread's event loop without blocking it, and ends with the host:
    // left waiting at exit, its request and the frames awaiting it would never be freed.
    deliver(this, m_provider.timeline(this),
            [this](const GeoTimeline &timeline) { apply(timeline); });
}

void WidgetHost::apply(const GeoTimeline &timeline)
{
    m_requesting = false;
    m_entry = timeline.entry;
    m_nextReload = timeline.reloadAfter;
    Q_EMIT entryChanged();
    scheduleReload();
}

void WidgetHost::scheduleReload()
{
    const qint64 remaining = m_timings.wallClock().msecsTo(m_nextReload);
    if (remaining <= 0) {
        requestTimeline();
        return;
    }
    m_timer.start(std::chrono::milliseconds(remaining));
}

} // namespace velmora
