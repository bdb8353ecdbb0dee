#pragma once

#include "speedmeasurements.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// How one request of the speed test is made.
struct RequestOptions
{
    QUrl url{};
    // A POST of this many zero bytes; a GET when absent.
    std::optional<qint64> uploadBytes{};
    // The longest the request may go without data moving, connecting included.
    std::chrono::seconds inactivity{8};
    // PEM certificates of authorities trusted besides the system's.
    QByteArray extraAuthorities{};
};

// The text of a measurement ended from outside.
inline QString stoppedText()
{
    return QStringLiteral("The speed test was stopped");
}

namespace detail {

// Takes a measurement's outcome, once. Dropped without being called, whatever it holds must
// still let the measurement's awaiter resume.
using Resolve = std::function<void(const SpeedOutcome &)>;

// Runs the measurements' transfers, one after another, away from the caller's thread. It
// lives in a module of its own, loaded at the first speed test, so that a session that never
// runs one does not load the transfer library and the dozens it brings.
class MeasurementRunner
{
public:
    virtual ~MeasurementRunner() = default;
    // The median of three timed GETs after an untimed one, in milliseconds.
    virtual void latency(RequestOptions options, Resolve done) = 0;
    // Megabits per second of a GET, or of a POST when options ask for an upload.
    virtual void transfer(RequestOptions options, std::chrono::milliseconds cap, Resolve done) = 0;
};

// The module's one entry point, looked up by this name.
using MakeMeasurementRunner = MeasurementRunner *();
inline constexpr auto makeMeasurementRunnerSymbol = "velmora_make_measurement_runner";

// The runner from the module installed beside the program, or why it cannot be had.
std::expected<std::unique_ptr<MeasurementRunner>, QString> loadMeasurementRunner();

} // namespace detail

} // namespace velmora
