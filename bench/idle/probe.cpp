// Starts one tray program on the session bus and measures it: the time from its start to its
// item being registered with the StatusNotifierWatcher, then, after the start-up has settled,
// its CPU time (all threads, in nanoseconds) over a window, its peak and current resident
// memory, the memory it alone holds (private: dirty pages, and clean file pages no other
// process maps at that moment) and its proportional share (PSS) at the end. Prints "<name> <value>"
// lines; exits 1, saying why, when the program exits early, no host is registered or its item never
// shows up. With --no-item (a program that shows its figures elsewhere) the settle counts from the
// start and no start-up time is given.
//
//   bench_idle_probe [--settle S] [--seconds N] [--timeout T] [--log FILE] [--no-item]
//                    -- PROGRAM ARGS...

#include "procstatus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include <signal.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora::bench {

// The watcher's registration signal as a Qt signal, so it can be connected to a functor.
class WatcherProxy : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    explicit WatcherProxy(const QDBusConnection &bus, QObject *parent = nullptr)
        : QDBusAbstractInterface(u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s,
                                 "org.kde.StatusNotifierWatcher", bus, parent)
    {}

Q_SIGNALS:
    // Named as on the bus: the proxy forwards bus signals to Qt signals of the same name.
    void StatusNotifierItemRegistered(const QString &service);
};

class Probe : public QObject
{
public:
    Probe(std::chrono::milliseconds settle, std::chrono::milliseconds window,
          std::chrono::milliseconds timeout, bool expectItem)
        : m_expectItem(expectItem)
        , m_settle(settle)
        , m_window(window)
        , m_timeout(timeout)
        , m_watcher(QDBusConnection::sessionBus(), this)
    {}

    // Starts program; the figures follow once the event loop runs.
    bool start(const QString &program, const QStringList &arguments, const QString &log)
    {
        if (m_expectItem && !m_watcher.isValid()) {
            return fail(u"no StatusNotifierWatcher on the session bus"_s);
        }
        // Without a host Qt's tray icon falls back to XEmbed and never registers.
        if (m_expectItem && !hostRegistered())
            return fail(u"no StatusNotifierHost registered with the watcher"_s);

        connect(&m_watcher, &WatcherProxy::StatusNotifierItemRegistered, this,
                &Probe::itemRegistered);
        connect(&m_process, &QProcess::finished, this, [this](int code) {
            if (!m_done)
                fail(u"the program exited with code %1 before the end"_s.arg(code));
        });
        if (!log.isEmpty()) {
            m_process.setStandardOutputFile(log, QIODevice::Append);
            m_process.setStandardErrorFile(log, QIODevice::Append);
        } else {
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            m_process.setStandardOutputFile(QProcess::nullDevice());
        }
        m_clock.start();
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return fail(u"could not start %1: %2"_s.arg(program, m_process.errorString()));
        if (!m_expectItem) {
            // A program without an item is measured from its start.
            startWindow();
            return true;
        }
        QTimer::singleShot(m_timeout, this, [this] {
            if (m_startup < 0)
                fail(u"no item registered within %1 s"_s.arg(m_timeout.count() / 1000));
        });
        return true;
    }

private:
    void itemRegistered(const QString &service)
    {
        const qint64 elapsed = m_clock.nsecsElapsed();
        if (m_startup >= 0 || !belongsToChild(service))
            return;
        m_startup = double(elapsed) / 1e6;
        std::printf("item %s\nstartup_ms %.1f\n", qPrintable(service), m_startup);
        std::fflush(stdout);
        startWindow();
    }

    void startWindow()
    {
        QTimer::singleShot(m_settle, this, [this] {
            m_cpuBefore = cpuMilliseconds(pid());
            m_wakeupsBefore = wakeups(pid());
            m_windowClock.start();
            QTimer::singleShot(m_window, this, &Probe::finish);
        });
    }

    bool hostRegistered() const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            m_watcher.service(), m_watcher.path(), u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << m_watcher.interface() << u"IsStatusNotifierHostRegistered"_s;
        const QDBusReply<QDBusVariant> reply = QDBusConnection::sessionBus().call(get);
        return reply.isValid() && reply.value().variant().toBool();
    }

    // The watcher names an item by its bus name, alone or followed by its object path.
    bool belongsToChild(const QString &service) const
    {
        const QString name = service.section(u'/', 0, 0);
        if (name.isEmpty())
            return true;
        const QDBusReply<uint> owner = QDBusConnection::sessionBus().interface()->servicePid(name);
        return !owner.isValid() || pid_t(owner.value()) == pid();
    }

    void finish()
    {
        const double cpu = cpuMilliseconds(pid()) - m_cpuBefore;
        const double seconds = double(m_windowClock.nsecsElapsed()) / 1e9;
        std::printf("seconds %.2f\ncpu_ms %.0f\npeak_rss_kb %ld\nrss_kb %ld\n", seconds, cpu,
                    statusKilobytes(pid(), "VmHWM"), statusKilobytes(pid(), "VmRSS"));
        std::printf("wakeups %.0f\n", wakeups(pid()) - m_wakeupsBefore);
        std::printf("private_dirty_kb %ld\nprivate_clean_kb %ld\npss_kb %ld\n",
                    rollupKilobytes(pid(), {"Private_Dirty"}),
                    rollupKilobytes(pid(), {"Private_Clean"}), rollupKilobytes(pid(), {"Pss"}));
        std::fflush(stdout);
        stop();
        QCoreApplication::exit(0);
    }

    bool fail(const QString &why)
    {
        std::printf("error %s\n", qPrintable(why));
        std::fflush(stdout);
        stop();
        QCoreApplication::exit(1);
        return false;
    }

    void stop()
    {
        m_done = true;
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    pid_t pid() const { return pid_t(m_process.processId()); }

    bool m_expectItem = true;
    std::chrono::milliseconds m_settle;
    std::chrono::milliseconds m_window;
    std::chrono::milliseconds m_timeout;
    WatcherProxy m_watcher;
    QProcess m_process;
    QElapsedTimer m_clock;
    QElapsedTimer m_windowClock;
    double m_startup = -1;
    double m_cpuBefore = 0;
    double m_wakeupsBefore = 0;
    bool m_done = false;
};

} // namespace velmora::bench

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption settle(u"settle"_s, u"Seconds from registration to the window."_s,
                                    u"s"_s, u"5"_s);
    const QCommandLineOption seconds(u"seconds"_s, u"Length of the CPU window."_s, u"s"_s, u"60"_s);
    const QCommandLineOption timeout(u"timeout"_s, u"Seconds to wait for the item."_s, u"s"_s,
                                     u"30"_s);
    const QCommandLineOption log(u"log"_s, u"Append the program's output to <file>."_s, u"file"_s);
    const QCommandLineOption noItem(
        u"no-item"_s, u"The program shows no tray item: the settle counts from its start."_s);
    parser.addOptions({settle, seconds, timeout, log, noItem});
    parser.addPositionalArgument(u"program"_s, u"The tray program and its arguments."_s,
                                 u"-- program [args...]"_s);
    parser.process(app);
    QStringList command = parser.positionalArguments();
    if (command.isEmpty())
        parser.showHelp(2);

    const auto millis = [&parser](const QCommandLineOption &option) {
        return std::chrono::milliseconds(qint64(parser.value(option).toDouble() * 1000));
    };
    velmora::bench::Probe probe(millis(settle), millis(seconds), millis(timeout),
                                !parser.isSet(noItem));
    const QString program = command.takeFirst();
    if (!probe.start(program, command, parser.value(log)))
        return 1;
    return app.exec();
}

#include "probe.moc"
