#pragma once

#include "sleepwatcher.h"

#include <QDBusConnection>
#include <QTimer>

#include <chrono>
#include <functional>

namespace velmora {

// Wakes as logind announces them (PrepareForSleep(false) of org.freedesktop.login1.Manager on
// the system bus), and, while no logind is on the bus, as the clocks show them: a slow check
// notices when the time spent asleep since boot has grown. With logind there the program does
// not wake up for the check at all.
class LogindSleepWatcher final : public SleepWatcher
{
    Q_OBJECT

public:
    struct Options
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        // The time spent asleep since boot.
        std::function<std::chrono::nanoseconds()> timeAsleep = &LogindSleepWatcher::timeAsleep;
        std::chrono::milliseconds checkEvery{10'000};
    };

    explicit LogindSleepWatcher(QObject *parent = nullptr);
    explicit LogindSleepWatcher(Options options, QObject *parent = nullptr);

    void start() override;

    // CLOCK_BOOTTIME less CLOCK_MONOTONIC: both run together except while the machine sleeps,
    // when only the first does.
    static std::chrono::nanoseconds timeAsleep();

private:
    void checkClocks();
    void watchClocks(bool watch);
    void woke();

    Options m_options;
    bool m_started = false;
    QTimer m_check;
    std::chrono::nanoseconds m_asleep{};
};

} // namespace velmora
