#pragma once

#include "geoprovider.h"
#include "sleepwatcher.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace velmora {

struct WidgetHostTimings
{
    std::function<QDateTime()> wallClock = &QDateTime::currentDateTimeUtc;
};

// Drives the provider as a desktop's widget host does: the snapshot at once, then a timeline,
// and the next timeline once its reload date has come. The reload date is a wall-clock date:
// timers stand still while the machine sleeps, so the clock is looked at again when the sleep
// watcher, if any, tells of a wake, and a reload that fell due during a suspend follows.
class WidgetHost : public QObject
{
    Q_OBJECT

public:
    using Timings = WidgetHostTimings;

    explicit WidgetHost(GeoProvider provider, Timings timings = {},
                        std::unique_ptr<SleepWatcher> sleepWatcher = nullptr,
                        QObject *parent = nullptr);

    // Sets the snapshot as the entry, then asks for the first timeline.
    void start();

    const GeoEntry &entry() const { return m_entry; }
    // What the gallery shows: the provider's preview snapshot.
    GeoEntry preview() const { return m_provider.snapshot(true); }
    // Invalid until the first timeline has come.
    QDateTime nextReload() const { return m_nextReload; }

Q_SIGNALS:
    void entryChanged();

private:
    void requestTimeline();
    void apply(const GeoTimeline &timeline);
    void scheduleReload();

    GeoProvider m_provider;
    Timings m_timings;
    std::unique_ptr<SleepWatcher> m_sleepWatcher;
    GeoEntry m_entry;
    QDateTime m_nextReload;
    QTimer m_timer;
    bool m_requesting = false;
};

} // namespace velmora
