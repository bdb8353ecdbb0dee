#pragma once

#include "connectionkind.h"
#include "dnsroute.h"
#include "geoclient.h"
#include "geostate.h"
#include "platform/interfacetable.h"
#include "platform/routelookup.h"
#include "sleepwatcher.h"
#include "speedphase.h"
#include "speedresult.h"
#include "traffichistory.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace velmora {

class Clipboard;
class DnsConfig;
class LoginItem;
class PathMonitor;
class SpeedMeasurements;
struct NetworkPath;

// The one state object of the tray program: the public address and its geolocation, the
// local network, live transfer rates, the speed test and launch at login. It keeps itself
// current: it follows the network path, refreshes the public address every few minutes and
// shortly after each network change, and samples traffic while asked to. Views only read it
// and call its operations. Everything happens on the thread that made it.
//
// Each field notifies through its <name>Changed signal only when its value really changes,
// except geoState and speedResult, which notify on every assignment.
class AppModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(velmora::GeoState geoState READ geoState NOTIFY geoStateChanged)
    Q_PROPERTY(std::optional<velmora::GeoInfo> lastGeo READ lastGeo NOTIFY lastGeoChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(
        velmora::ConnectionKind connectionKind READ connectionKind NOTIFY connectionKindChanged)
    Q_PROPERTY(std::optional<QString> localIP READ localIP NOTIFY localIPChanged)
    Q_PROPERTY(QStringList dnsServers READ dnsServers NOTIFY dnsServersChanged)
    Q_PROPERTY(bool vpnLikely READ vpnLikely NOTIFY vpnLikelyChanged)
    Q_PROPERTY(
        QList<velmora::DnsRoute> dnsOutsideVpn READ dnsOutsideVpn NOTIFY dnsOutsideVpnChanged)
    Q_PROPERTY(bool isOnline READ isOnline NOTIFY isOnlineChanged)
    Q_PROPERTY(bool ipCopied READ ipCopied NOTIFY ipCopiedChanged)
    Q_PROPERTY(velmora::SpeedPhase speedPhase READ speedPhase NOTIFY speedPhaseChanged)
    Q_PROPERTY(
        std::optional<velmora::SpeedResult> speedResult READ speedResult NOTIFY speedResultChanged)
    Q_PROPERTY(QList<velmora::SpeedPhase> failedSpeedSteps READ failedSpeedSteps NOTIFY
                   failedSpeedStepsChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(std::optional<QString> launchAtLoginError READ launchAtLoginError NOTIFY
                   launchAtLoginErrorChanged)
    Q_PROPERTY(double downloadRate READ downloadRate NOTIFY downloadRateChanged)
    Q_PROPERTY(double uploadRate READ uploadRate NOTIFY uploadRateChanged)

public:
    // How often things happen; tests shorten them.
    struct Timings
    {
        std::chrono::milliseconds refreshInterval{300'000};
        std::chrono::milliseconds trafficInterval{1'000};
        // From the last network change to the refresh it causes.
        std::chrono::milliseconds pathSettle{2'000};
        std::chrono::milliseconds copiedFor{1'200};
    };

    // What the model works with. Every piece is required but the sleep watcher.
    struct Services
    {
        GeoClient client;
        std::unique_ptr<PathMonitor> monitor;
        std::unique_ptr<InterfaceTable> interfaces;
        std::unique_ptr<DnsConfig> dns;
        std::unique_ptr<LoginItem> loginItem;
        std::unique_ptr<Clipboard> clipboard;
        // A run still going when the model goes away is abandoned with it: the model lets go of
        // the tester first, and a tester it alone holds stops there.
        std::shared_ptr<SpeedMeasurements> speedTester;
        Timings timings{};
        // The wall clock the traffic rates are measured with.
        std::function<Timestamp()> wallClock = &Timestamp::now;
        // Where the machine never sleeps (tests, benchmarks) it may be left out.
        std::unique_ptr<SleepWatcher> sleepWatcher = nullptr;
        // Where DNS queries leave; without it no server is judged to leave outside the VPN.
        std::unique_ptr<RouteLookup> routes = nullptr;
    };

    // Starts following the network at once: watches the path, schedules the periodic
    // refresh and begins the first lookup. Traffic sampling starts off.
    explicit AppModel(Services services, QObject *parent = nullptr);
    ~AppModel() override;

    const GeoState &geoState() const { return m_geoState; }
    const std::optional<GeoInfo> &lastGeo() const { return m_lastGeo; }
    // The record to show; see velmora::currentGeo.
    std::optional<GeoInfo> currentGeo() const { return velmora::currentGeo(m_geoState, m_lastGeo); }
    bool isRefreshing() const { return m_isRefreshing; }
    ConnectionKind connectionKind() const { return m_connectionKind; }
    // None while no interface has a usable address.
    const std::optional<QString> &localIP() const { return m_localIP; }
    const QStringList &dnsServers() const { return m_dnsServers; }
    bool vpnLikely() const { return m_vpnLikely; }
    // Of the DNS servers the popover shows, those whose queries leave outside the VPN, in
    // dnsServers' order; empty while no VPN is likely.
    const QList<DnsRoute> &dnsOutsideVpn() const { return m_dnsOutsideVpn; }
    bool isOnline() const { return m_isOnline; }
    bool ipCopied() const { return m_ipCopied; }
    SpeedPhase speedPhase() const { return m_speedPhase; }
    const std::optional<SpeedResult> &speedResult() const { return m_speedResult; }
    // The steps of the last speed test that failed, in their order.
    const QList<SpeedPhase> &failedSpeedSteps() const { return m_failedSpeedSteps; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    const std::optional<QString> &launchAtLoginError() const { return m_launchAtLoginError; }
    // Bytes per second over the last traffic sample.
    double downloadRate() const { return m_downloadRate; }
    double uploadRate() const { return m_uploadRate; }
    // The rates of every sample since sampling last started or the machine last woke, the
    // last five minutes at most.
    const TrafficHistory &trafficHistory() const { return m_trafficHistory; }

    // Looks up the public address again. While another refresh runs it returns at once, and one
    // more refresh follows the running one, however often it was asked for meanwhile.
    QCoro::Task<> refresh();
    // Runs latency, download and upload one after the other. Returns at once while a run is
    // in progress.
    QCoro::Task<> runSpeedTest();
    // Puts the current record's address on the clipboard and raises ipCopied for a moment;
    // without a record it does nothing.
    void copyPublicIP();
    // Starts or stops the traffic sampling; switching on takes a fresh baseline.
    void setTrafficMonitoring(bool on);
    // Asks the desktop to start (or not) this program at login, then mirrors what it reports.
    void setLaunchAtLogin(bool enable);

Q_SIGNALS:
    // A lookup found a different public address than the last successful one: sent before
    // anything else changes.
    void publicAddressChanged(const velmora::GeoInfo &old, const velmora::GeoInfo &now);
    void geoStateChanged();
    void lastGeoChanged();
    void isRefreshingChanged();
    void connectionKindChanged();
    void localIPChanged();
    void dnsServersChanged();
    void vpnLikelyChanged();
    void dnsOutsideVpnChanged();
    void isOnlineChanged();
    void ipCopiedChanged();
    void speedPhaseChanged();
    void speedResultChanged();
    void failedSpeedStepsChanged();
    void launchAtLoginChanged();
    void launchAtLoginErrorChanged();
    void downloadRateChanged();
    void uploadRateChanged();
    // A sample was added, or the history was emptied.
    void trafficHistoryChanged();

private:
    void pathChanged(const NetworkPath &path);
    void refreshLocalInfo();
    void sampleTraffic();
    void takeTrafficBaseline();
    void resumed();
    void startRefresh();

    template<typename T> void assign(T &field, const T &value, void (AppModel::*changed)());

    Services m_services;

    GeoState m_geoState = GeoState::loading();
    std::optional<GeoInfo> m_lastGeo;
    bool m_isRefreshing = false;
    bool m_refreshAgain = false;
    ConnectionKind m_connectionKind = ConnectionKind::unknown;
    std::optional<QString> m_localIP;
    QStringList m_dnsServers;
    bool m_vpnLikely = false;
    QList<DnsRoute> m_dnsOutsideVpn;
    bool m_isOnline = true;
    bool m_ipCopied = false;
    SpeedPhase m_speedPhase = SpeedPhase::idle;
    std::optional<SpeedResult> m_speedResult;
    QList<SpeedPhase> m_failedSpeedSteps;
    bool m_launchAtLogin = false;
    std::optional<QString> m_launchAtLoginError;
    double m_downloadRate = 0;
    double m_uploadRate = 0;
    TrafficHistory m_trafficHistory;

    QTimer *m_refreshTimer = nullptr;
    QTimer *m_settleTimer = nullptr;
    QPointer<QTimer> m_trafficTimer;
    InterfaceCounters m_lastCounters;
    Timestamp m_lastSample;
};

} // namespace velmora

Q_DECLARE_METATYPE(velmora::GeoState)
