// Accelerated soak of the tray picture: a day of once-a-second redraws as fast as they go.
// The model samples traffic every millisecond from an interface table whose counters move by
// a different amount each time, so every sample changes the rates; the status bar controller
// redraws the picture and hands it to the real tray item, which publishes it over D-Bus as in
// use. Resident memory after a warm-up and at the end shows whether the redraw path leaks.
//
//   bench_idle_soak [--warmup W] [--redraws N]
//
// Needs a display and a session bus with a StatusNotifierWatcher and host (run.sh has both).
// Prints "<name> <value>" lines; exits 1 when the redraws stall.

#include "appmodel.h"
#include "platform/clipboard.h"
#include "platform/dnsconfig.h"
#include "platform/interfacetable.h"
#include "platform/loginitem.h"
#include "platform/pathmonitor.h"
#include "preferences.h"
#include "procstatus.h"
#include "settingsfollowers.h"
#include "settingsstore.h"
#include "speedmeasurements.h"
#include "statusbarcontroller.h"
#include "systemtrayitem.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora::bench {
namespace {

// One wired interface whose counters grow by a different amount on every read, so that no
// two samples give the same rates; loopback stays put, as the model ignores it anyway.
class GrowingInterfaces final : public InterfaceTable
{
public:
    InterfaceCounters counters() const override
    {
        // A small linear congruential walk: steps from a few kB to a few MB, never repeating
        // the previous one.
        m_state = m_state * 1664525u + 1013904223u;
        m_received += 4096 + (m_state >> 10);
        m_sent += 1024 + (m_state >> 14);
        return {{u"eth0"_s, {m_received, m_sent}}, {u"lo"_s, {1000, 1000}}};
    }
    QList<InterfaceAddress> upIPv4Addresses() const override
    {
        return {{u"lo"_s, u"127.0.0.1"_s}, {u"eth0"_s, u"192.0.2.10"_s}};
    }

private:
    mutable quint32 m_state = 1;
    mutable quint32 m_received = 0;
    mutable quint32 m_sent = 0;
};

// A wired path, reported once after start() as the kernel's monitor does.
class WiredPath final : public PathMonitor
{
public:
    void start() override
    {
        QTimer::singleShot(0, this, [this] {
            Q_EMIT pathChanged(NetworkPath{
                .satisfied = true, .usesWiredEthernet = true, .interfaces = {u"eth0"_s}});
        });
    }
};

class FixedDns final : public DnsConfig
{
public:
    QStringList servers() const override { return {u"192.0.2.53"_s}; }
};

class NoLoginItem final : public LoginItem
{
public:
    Status status() const override { return Status::notRegistered; }
    std::expected<void, QString> registerItem() override { return {}; }
    std::expected<void, QString> unregisterItem() override { return {}; }
};

class NoClipboard final : public Clipboard
{
public:
    void setText(const QString &) override {}
};

// The soak never runs a speed test; any request fails at once.
class NoSpeedTests final : public SpeedMeasurements
{
public:
    QCoro::Task<SpeedOutcome> latency() override { return none(); }
    QCoro::Task<SpeedOutcome> download() override { return none(); }
    QCoro::Task<SpeedOutcome> upload() override { return none(); }

private:
    static QCoro::Task<SpeedOutcome> none() { co_return std::unexpected(u"not in the soak"_s); }
};

// The primary provider answers with one fixed record, so the picture carries a country flag
// as it does once the address is known; the others are unreachable.
QCoro::Task<FetchResult> fixedRecord(QUrl url, const QObject *)
{
    if (url == GeoClient::primaryURL())
        co_return QByteArray(R"({"ip":"192.0.2.1","country_code":"DE"})");
    co_return std::unexpected(GeoError::transport(u"Host unreachable"_s));
}

AppModel::Services soakServices()
{
    // Each sample is a second later, so the rates are the counters' steps per second.
    auto seconds = std::make_shared<double>(800'000'000);
    return AppModel::Services{
        .client = GeoClient(&fixedRecord),
        .monitor = std::make_unique<WiredPath>(),
        .interfaces = std::make_unique<GrowingInterfaces>(),
        .dns = std::make_unique<FixedDns>(),
        .loginItem = std::make_unique<NoLoginItem>(),
        .clipboard = std::make_unique<NoClipboard>(),
        .speedTester = std::make_shared<NoSpeedTests>(),
        .timings = AppModel::Timings{.trafficInterval = 1ms},
        .wallClock = [seconds] { return Timestamp::fromSecondsSinceReference(*seconds += 1); },
    };
}

long residentKilobytes()
{
    return statusKilobytes(getpid(), "VmRSS");
}

} // namespace
} // namespace velmora::bench

int main(int argc, char **argv)
{
    using namespace velmora;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption warmupOption(u"warmup"_s, u"Redraws before the first memory figure."_s,
                                          u"count"_s, u"2000"_s);
    const QCommandLineOption redrawsOption(u"redraws"_s, u"Redraws after the warm-up."_s,
                                           u"count"_s, u"86400"_s);
    parser.addOptions({warmupOption, redrawsOption});
    parser.process(app);
    const int warmup = std::max(1, parser.value(warmupOption).toInt());
    const int redraws = std::max(1, parser.value(redrawsOption).toInt());

    QTemporaryDir settingsDir;
    if (!settingsDir.isValid()) {
        std::printf("error no temporary directory for the settings\n");
        return 1;
    }
    SettingsStore store(settingsDir.filePath(u"settings.json"_s));
    Preferences prefs(store);
    prefs.setShowLiveSpeed(true);
    AppModel model(bench::soakServices());
    SystemTrayItem tray(u"velmora"_s);
    StatusBarController controller(model, prefs, tray);
    followLiveSpeed(prefs, model, controller);

    // Polls the redraw count: the warm-up mark, quarter marks, the end, and a stall guard.
    QTimer poll;
    poll.setInterval(10ms);
    QElapsedTimer clock;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int lastCount = 0;
    int warmCount = -1;
    int nextQuarter = 1;
    long warmResident = 0;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        const int count = controller.redrawCount();
        if (count != lastCount) {
            lastCount = count;
            sinceProgress.restart();
        } else if (sinceProgress.elapsed() > 10'000) {
            std::printf("error no redraw for 10 s after %d redraws\n", count);
            QApplication::exit(1);
            return;
        }
        if (warmCount < 0) {
            if (count < warmup)
                return;
            warmCount = count;
            warmResident = bench::residentKilobytes();
            clock.start();
            std::printf("rss_warm_kb %ld\n", warmResident);
            std::fflush(stdout);
            return;
        }
        const int done = count - warmCount;
        if (nextQuarter < 4 && done >= redraws / 4 * nextQuarter) {
            std::printf("rss_at %d %ld\n", done, bench::residentKilobytes());
            std::fflush(stdout);
            ++nextQuarter;
        }
        if (done < redraws)
            return;
        std::printf("redraws %d\nseconds %.1f\nrss_end_kb %ld\npeak_rss_kb %ld\n", done,
                    double(clock.elapsed()) / 1000, bench::residentKilobytes(),
                    bench::statusKilobytes(getpid(), "VmHWM"));
        std::fflush(stdout);
        QApplication::exit(0);
    });
    poll.start();
    return app.exec();
}
