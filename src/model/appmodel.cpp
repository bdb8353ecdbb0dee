#include "appmodel.h"

#include "interfacerules.h"
#include "platform/clipboard.h"
#include "platform/dnsconfig.h"
#include "platform/loginitem.h"
#include "platform/pathmonitor.h"
#include "speedmeasurements.h"

#include <QTimer>

namespace velmora {

AppModel::AppModel(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_launchAtLogin(m_services.loginItem->status() == LoginItem::Status::enabled)
    , m_lastSample(m_services.wallClock())
{
    // The monitor, the timers and the copy resets are children or take this as their
    // context, so none of their callbacks outlives the model. The timers exist before the
    // monitor starts, whenever its first report comes.
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(m_services.timings.refreshInterval);
    connect(m_refreshTimer, &QTimer::timeout, this, &AppModel::startRefresh);

    // A burst of path reports restarts this timer each time: one refresh after the last.
    m_settleTimer = new QTimer(this);
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setInterval(m_services.timings.pathSettle);
    connect(m_settleTimer, &QTimer::timeout, this, &AppModel::startRefresh);

    connect(m_services.monitor.get(), &PathMonitor::pathChanged, this, &AppModel::pathChanged);
    m_services.monitor->start();
    if (m_services.sleepWatcher) {
        connect(m_services.sleepWatcher.get(), &SleepWatcher::resumed, this, &AppModel::resumed);
        m_services.sleepWatcher->start();
    }
    m_refreshTimer->start();
    // From the event loop: what is set up after the model, the tray item above all, is not
    // held up by the lookup's start, which loads the TLS library.
    QMetaObject::invokeMethod(this, &AppModel::startRefresh, Qt::QueuedConnection);
}

AppModel::~AppModel()
{
    // Quitting during a speed test: the run is abandoned here, so that its transfer and the
    // tester's thread end now and not after the program has left main.
    m_services.speedTester.reset();
}

template<typename T> void AppModel::assign(T &field, const T &value, void (AppModel::*changed)())
{
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)();
}

void AppModel::startRefresh()
{
    // Fire and forget: the task finishes on its own and checks the model is still there.
    refresh();
}

QCoro::Task<> AppModel::refresh()
{
    if (m_isRefreshing) {
        // The running lookup may have asked before whatever prompted this one.
        m_refreshAgain = true;
        co_return;
    }
    assign(m_isRefreshing, true, &AppModel::isRefreshingChanged);
    refreshLocalInfo();
    if (!m_lastGeo) {
        m_geoState = GeoState::loading();
        Q_EMIT geoStateChanged();
    }

    const QPointer<AppModel> self(this);
    const GeoClient client = m_services.client;
    // Ends with the model: a lookup left waiting would hold its frames until exit, and past it.
    const GeoResult result = co_await client.lookup(this);
    if (!self)
        co_return;

    if (result) {
        if (m_lastGeo && m_lastGeo->ip != result->ip) {
            Q_EMIT publicAddressChanged(*m_lastGeo, *result);
            if (!self)
                co_return;
        }
        assign(m_lastGeo, std::optional<GeoInfo>(*result), &AppModel::lastGeoChanged);
        m_geoState = GeoState::loaded(*result);
    } else {
        m_geoState = GeoState::failed(m_isOnline ? result.error().errorDescription()
                                                 : QStringLiteral("No network connection"));
    }
    Q_EMIT geoStateChanged();
    assign(m_isRefreshing, false, &AppModel::isRefreshingChanged);
    if (std::exchange(m_refreshAgain, false))
        startRefresh();
}

void AppModel::refreshLocalInfo()
{
    const QList<InterfaceAddress> addresses = m_services.interfaces->upIPv4Addresses();
    assign(m_localIP, chooseLocalIP(addresses), &AppModel::localIPChanged);
    assign(m_vpnLikely, velmora::vpnLikely(addresses), &AppModel::vpnLikelyChanged);
    assign(m_dnsServers, m_services.dns->servers(), &AppModel::dnsServersChanged);
    assign(m_dnsOutsideVpn,
           m_services.routes ? velmora::dnsOutsideVpn(m_dnsServers, addresses, *m_services.routes)
                             : QList<DnsRoute>(),
           &AppModel::dnsOutsideVpnChanged);
}

void AppModel::pathChanged(const NetworkPath &path)
{
    assign(m_isOnline, path.satisfied, &AppModel::isOnlineChanged);
    const ConnectionKind kind = path.usesWifi            ? ConnectionKind::wifi
                                : path.usesWiredEthernet ? ConnectionKind::ethernet
                                : path.usesCellular      ? ConnectionKind::cellular
                                : m_isOnline             ? ConnectionKind::other
                                                         : ConnectionKind::offline;
    assign(m_connectionKind, kind, &AppModel::connectionKindChanged);
    refreshLocalInfo();
    m_settleTimer->start();
}

void AppModel::copyPublicIP()
{
    const std::optional<GeoInfo> geo = currentGeo();
    if (!geo)
        return;
    m_services.clipboard->setText(geo->ip);
    assign(m_ipCopied, true, &AppModel::ipCopiedChanged);
    // Every copy has its own reset; a later copy does not extend an earlier one.
    QTimer::singleShot(m_services.timings.copiedFor, this,
                       [this] { assign(m_ipCopied, false, &AppModel::ipCopiedChanged); });
}

void AppModel::setTrafficMonitoring(bool on)
{
    if (on == !m_trafficTimer.isNull())
        return;
    delete m_trafficTimer;
    assign(m_downloadRate, 0.0, &AppModel::downloadRateChanged);
    assign(m_uploadRate, 0.0, &AppModel::uploadRateChanged);
    if (!on)
        return;

    takeTrafficBaseline();
    m_trafficTimer = new QTimer(this);
    m_trafficTimer->setInterval(m_services.timings.trafficInterval);
    m_trafficTimer->setTimerType(Qt::PreciseTimer);
    connect(m_trafficTimer, &QTimer::timeout, this, &AppModel::sampleTraffic);
    m_trafficTimer->start();
}

void AppModel::takeTrafficBaseline()
{
    m_lastCounters = trafficCounters(m_services.interfaces->counters());
    m_lastSample = m_services.wallClock();
    // What came before a pause would be drawn as if it had just happened.
    if (!m_trafficHistory.isEmpty()) {
        m_trafficHistory.clear();
        Q_EMIT trafficHistoryChanged();
    }
}

void AppModel::resumed()
{
    // The time asleep passed every timer by. The address is looked up again once the network
    // has had the usual moment to settle, and traffic is measured from now: counters may have
    // started again from zero while asleep, and would read as one giant sample.
    if (m_trafficTimer) {
        assign(m_downloadRate, 0.0, &AppModel::downloadRateChanged);
        assign(m_uploadRate, 0.0, &AppModel::uploadRateChanged);
        takeTrafficBaseline();
        m_trafficTimer->start();
    }
    m_settleTimer->start();
}

void AppModel::sampleTraffic()
{
    const Timestamp now = m_services.wallClock();
    const InterfaceCounters current = trafficCounters(m_services.interfaces->counters());
    const double elapsed = now.secondsSinceReference() - m_lastSample.secondsSinceReference();
    const TrafficDelta delta = trafficDelta(m_lastCounters, current);
    m_lastCounters = current;
    m_lastSample = now;
    // A wall clock that went back gives no rate for this interval, only a new baseline.
    if (elapsed > 0) {
        assign(m_downloadRate, double(delta.received) / elapsed, &AppModel::downloadRateChanged);
        assign(m_uploadRate, double(delta.sent) / elapsed, &AppModel::uploadRateChanged);
        m_trafficHistory.append(m_downloadRate, m_uploadRate);
        Q_EMIT trafficHistoryChanged();
    }
}

void AppModel::setLaunchAtLogin(bool enable)
{
    assign(m_launchAtLoginError, std::optional<QString>(), &AppModel::launchAtLoginErrorChanged);
    LoginItem &item = *m_services.loginItem;
    if (const auto changed = enable ? item.registerItem() : item.unregisterItem(); !changed)
        assign(m_launchAtLoginError, std::optional(changed.error()),
               &AppModel::launchAtLoginErrorChanged);
    assign(m_launchAtLogin, item.status() == LoginItem::Status::enabled,
           &AppModel::launchAtLoginChanged);
}

QCoro::Task<> AppModel::runSpeedTest()
{
    if (m_speedPhase != SpeedPhase::idle)
        co_return;
    assign(m_failedSpeedSteps, QList<SpeedPhase>(), &AppModel::failedSpeedStepsChanged);

    const QPointer<AppModel> self(this);
    SpeedResult result;
    QList<SpeedPhase> failed;

    struct Step
    {
        SpeedPhase phase;
        QCoro::Task<SpeedOutcome> (SpeedMeasurements::*measure)();
        std::optional<double> SpeedResult::*figure;
    };
    static constexpr Step steps[] = {
        {SpeedPhase::latency, &SpeedMeasurements::latency, &SpeedResult::latencyMs},
        {SpeedPhase::download, &SpeedMeasurements::download, &SpeedResult::downloadMbps},
        {SpeedPhase::upload, &SpeedMeasurements::upload, &SpeedResult::uploadMbps},
    };
    for (const Step &step : steps) {
        assign(m_speedPhase, step.phase, &AppModel::speedPhaseChanged);
        const SpeedOutcome outcome = co_await (m_services.speedTester.get()->*step.measure)();
        // Abandoned: the model is gone or going, and has let go of its tester.
        if (!self || !m_services.speedTester)
            co_return;
        if (outcome)
            result.*step.figure = *outcome;
        else
            failed << step.phase;
    }

    assign(m_speedPhase, SpeedPhase::idle, &AppModel::speedPhaseChanged);
    result.date = Timestamp::now();
    if (failed.size() < 3) {
        m_speedResult = result;
        Q_EMIT speedResultChanged();
    }
    assign(m_failedSpeedSteps, failed, &AppModel::failedSpeedStepsChanged);
}

} // namespace velmora
