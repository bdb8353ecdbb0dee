#pragma once

// Stand-ins for the model's platform pieces and network, scripted by the tests.

#include "appmodel.h"
#include "platform/clipboard.h"
#include "platform/dnsconfig.h"
#include "platform/loginitem.h"
#include "platform/pathmonitor.h"
#include "speedmeasurements.h"

#include <QList>
#include <QTest>

#include <QCoro/QCoroTimer>

#include <deque>

namespace velmora::fakes {

class PathMonitor final : public velmora::PathMonitor
{
public:
    void start() override {}
    void report(const NetworkPath &path) { Q_EMIT pathChanged(path); }
};

class InterfaceTable final : public velmora::InterfaceTable
{
public:
    InterfaceCounters counters() const override { return m_counters; }
    QList<InterfaceAddress> upIPv4Addresses() const override { return {}; }
    InterfaceCounters m_counters;
};

class DnsConfig final : public velmora::DnsConfig
{
public:
    QStringList servers() const override { return {}; }
};

class LoginItem final : public velmora::LoginItem
{
public:
    Status status() const override { return m_status; }
    std::expected<void, QString> registerItem() override { return change(Status::enabled); }
    std::expected<void, QString> unregisterItem() override { return change(Status::notRegistered); }

    Status m_status = Status::notRegistered;
    std::optional<QString> m_nextError;

private:
    std::expected<void, QString> change(Status to)
    {
        if (m_nextError)
            return std::unexpected(*std::exchange(m_nextError, std::nullopt));
        m_status = to;
        return {};
    }
};

class Clipboard final : public velmora::Clipboard
{
public:
    void setText(const QString &text) override { m_text = text; }
    QString m_text;
};

// Each measurement waits 10 ms, then answers with the next scripted outcome (or a
// failure when none is left).
class SpeedTester final : public SpeedMeasurements
{
public:
    QCoro::Task<SpeedOutcome> latency() override { return answer(); }
    QCoro::Task<SpeedOutcome> download() override { return answer(); }
    QCoro::Task<SpeedOutcome> upload() override { return answer(); }

    QList<SpeedOutcome> m_outcomes;

private:
    QCoro::Task<SpeedOutcome> answer()
    {
        const SpeedOutcome next = m_outcomes.isEmpty()
                                      ? SpeedOutcome(std::unexpected(QStringLiteral("unreachable")))
                                      : m_outcomes.takeFirst();
        co_await QCoro::sleepFor(std::chrono::milliseconds(10));
        co_return next;
    }
};

// Lookups answered from a script: each entry is the public address the next lookup finds,
// or empty for a lookup in which every provider fails.
struct LookupScript
{
    std::deque<QString> addresses;
    std::chrono::milliseconds delay{20};
    int lookups = 0;
};

// The primary provider answers with just the address and a country code: DE for addresses
// starting with 2, else TR.
inline GeoClient scriptedClient(const std::shared_ptr<LookupScript> &script)
{
    return GeoClient([script](QUrl url, const QObject *) -> QCoro::Task<FetchResult> {
        const bool primary = url == GeoClient::primaryURL();
        script->lookups += primary;
        const bool answers = primary && !script->addresses.empty();
        const QString address = answers ? script->addresses.front() : QString();
        if (answers)
            script->addresses.pop_front();
        co_await QCoro::sleepFor(script->delay);
        if (!primary || address.isEmpty())
            co_return std::unexpected(GeoError::transport(QStringLiteral("Host unreachable")));
        co_return QStringLiteral(R"({"ip":"%1","country_code":"%2"})")
            .arg(address, address.startsWith(u'2') ? QStringLiteral("DE") : QStringLiteral("TR"))
            .toUtf8();
    });
}

// Timings short enough for tests, long enough that the first lookup never overlaps them.
inline AppModel::Timings quickTimings()
{
    using namespace std::chrono_literals;
    return {
        .refreshInterval = 3'600s, .trafficInterval = 100ms, .pathSettle = 300ms, .copiedFor = 1s};
}

// Waits (bounded) until no lookup runs: one left suspended when a test ends never finishes.
inline bool waitUntilIdle(const AppModel &model)
{
    return QTest::qWaitFor([&] { return !model.isRefreshing(); }, 5000);
}

// One model with every piece scripted; the pieces stay reachable after the model owns them.
struct Rig
{
    std::shared_ptr<LookupScript> lookups = std::make_shared<LookupScript>();
    fakes::PathMonitor *monitor = new fakes::PathMonitor;
    fakes::InterfaceTable *interfaces = new fakes::InterfaceTable;
    fakes::LoginItem *loginItem = new fakes::LoginItem;
    fakes::Clipboard *clipboard = new fakes::Clipboard;
    std::shared_ptr<fakes::SpeedTester> speed = std::make_shared<fakes::SpeedTester>();
    double clockSeconds = 1000;

    AppModel::Services services(AppModel::Timings timings = {})
    {
        return AppModel::Services{
            .client = scriptedClient(lookups),
            .monitor = std::unique_ptr<velmora::PathMonitor>(monitor),
            .interfaces = std::unique_ptr<velmora::InterfaceTable>(interfaces),
            .dns = std::make_unique<fakes::DnsConfig>(),
            .loginItem = std::unique_ptr<velmora::LoginItem>(loginItem),
            .clipboard = std::unique_ptr<velmora::Clipboard>(clipboard),
            .speedTester = speed,
            .timings = timings,
            .wallClock = [this] { return Timestamp::fromSecondsSinceReference(clockSeconds); },
        };
    }
};

} // namespace velmora::fakes
