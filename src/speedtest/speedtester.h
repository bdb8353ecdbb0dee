#pragma once

#include "speedmeasurements.h"

#include <QByteArray>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace velmora {

struct RequestOptions;
namespace detail {
class MeasurementRunner;
}

// Measures latency, download and upload against a speed-test service: GET
// base/__down?bytes=0 for latency, GET base/__down?bytes=25000000 and POST base/__up with
// 10,000,000 zero bytes for the rates. The transfers run one after another on a thread of the
// tester's own, started by the first measurement, which also loads the transfer code; each
// measurement resumes its awaiter on the awaiter's thread. Certificates are checked against the
// system's authorities, and the proxy is the one Qt finds in the system's configuration.
class SpeedTester final : public SpeedMeasurements
{
public:
    static constexpr std::chrono::milliseconds defaultCap{8000};
    static constexpr qint64 downloadBytes = 25'000'000;
    static constexpr qint64 uploadBytes = 10'000'000;

    // The service's origin, https://speed.cloudflare.com.
    static QUrl defaultBase();

    // base: scheme, host and optional port (a trailing slash is ignored). cap: the longest a
    // download or upload runs; what moved by then is measured. extraAuthorities: PEM
    // certificates of authorities trusted besides the system's.
    explicit SpeedTester(QUrl base = defaultBase(), std::chrono::milliseconds cap = defaultCap,
                         QByteArray extraAuthorities = {});
    // Stops the measurements still running and the thread. Their awaiters still get a result:
    // those on this thread before this returns, so nothing is left waiting on a loop that may
    // never run again.
    ~SpeedTester() override;
    SpeedTester(const SpeedTester &) = delete;
    SpeedTester &operator=(const SpeedTester &) = delete;

    // The median of three timed requests after an untimed warm-up, each with an 8-second
    // inactivity timeout and a 10-second deadline. Fails when a timed request fails in
    // transport.
    QCoro::Task<SpeedOutcome> latency() override;
    // Fail only when the transfer ended with an error, or reached the cap, before a byte was
    // counted; a status outside 200-299 is then a bad-server-response error. An upload counts
    // the body bytes the server's side acknowledged, not those handed to the system.
    QCoro::Task<SpeedOutcome> download() override;
    QCoro::Task<SpeedOutcome> upload() override;

    QUrl base() const { return m_base; }
    std::chrono::milliseconds cap() const { return m_cap; }

private:
    RequestOptions request(QByteArrayView pathAndQuery) const;
    QCoro::Task<SpeedOutcome> measure(RequestOptions options,
                                      std::optional<std::chrono::milliseconds> cap);

    QUrl m_base;
    std::chrono::milliseconds m_cap;
    QByteArray m_extraAuthorities;
    std::unique_ptr<detail::MeasurementRunner> m_runner;
    QString m_unavailable; // why the transfer code could not be loaded
};

} // namespace velmora
