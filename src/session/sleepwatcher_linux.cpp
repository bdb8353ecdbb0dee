#include "sleepwatcher_linux.h"

#include <QDBusAbstractInterface>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <time.h>

using namespace std::chrono_literals;

namespace velmora {

namespace {

const QString loginService = QStringLiteral("org.freedesktop.login1");

// Shorter naps than this, and the clocks' own drift, are not worth a lookup.
constexpr auto shortestSleep = 2s;

std::chrono::nanoseconds read(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// logind's manager, for its signal only: QtDBus delivers a D-Bus signal to a Qt signal of the
// same name and arguments.
class LoginManager : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    LoginManager(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(loginService, QStringLiteral("/org/freedesktop/login1"),
                                 "org.freedesktop.login1.Manager", bus, parent)
    {}

Q_SIGNALS:
    void PrepareForSleep(bool goingToSleep);
};

} // namespace

LogindSleepWatcher::LogindSleepWatcher(QObject *parent)
    : LogindSleepWatcher(Options{}, parent)
{}

LogindSleepWatcher::LogindSleepWatcher(Options options, QObject *parent)
    : SleepWatcher(parent)
    , m_options(std::move(options))
{
    m_check.setInterval(m_options.checkEvery);
    connect(&m_check, &QTimer::timeout, this, &LogindSleepWatcher::checkClocks);
}

std::chrono::nanoseconds LogindSleepWatcher::timeAsleep()
{
    return read(CLOCK_BOOTTIME) - read(CLOCK_MONOTONIC);
}

void LogindSleepWatcher::start()
{
    if (std::exchange(m_started, true))
        return;
    m_asleep = m_options.timeAsleep();
    if (!m_options.bus.isConnected()) {
        watchClocks(true);
        return;
    }
    auto *manager = new LoginManager(m_options.bus, this);
    connect(manager, &LoginManager::PrepareForSleep, this, [this](bool goingToSleep) {
        if (!goingToSleep)
            woke();
    });
    // logind may also start or stop while the program runs.
    auto *logind = new QDBusServiceWatcher(loginService, m_options.bus,
                                           QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(logind, &QDBusServiceWatcher::serviceRegistered, this, [this] { watchClocks(false); });
    connect(logind, &QDBusServiceWatcher::serviceUnregistered, this, [this] { watchClocks(true); });
    auto *call = new QDBusPendingCallWatcher(
        m_options.bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), loginService), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusPendingReply<bool> hasOwner = *call;
        watchClocks(!hasOwner.isValid() || !hasOwner.value());
    });
}

void LogindSleepWatcher::watchClocks(bool watch)
{
    if (watch == m_check.isActive())
        return;
    if (watch) {
        m_asleep = m_options.timeAsleep();
        m_check.start();
    } else {
        m_check.stop();
    }
}

void LogindSleepWatcher::checkClocks()
{
    if (m_options.timeAsleep() - m_asleep >= shortestSleep)
        woke();
}

void LogindSleepWatcher::woke()
{
    // Whichever notices first, the clocks are read afresh, so the other tells this wake at most
    // once more, moments later.
    m_asleep = m_options.timeAsleep();
    Q_EMIT resumed();
}

} // namespace velmora

#include "sleepwatcher_linux.moc"
