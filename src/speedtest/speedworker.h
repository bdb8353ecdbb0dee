#pragma once

#include "speedmeasurements.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace velmora::detail {

// Resolves one measurement exactly once, from any thread. Dropped unresolved, it resolves as
// stopped, so whoever awaits its future always resumes.
class Completion
{
public:
    Completion();
    ~Completion();
    Completion(const Completion &) = delete;
    Completion &operator=(const Completion &) = delete;

    QFuture<SpeedOutcome> future();
    void resolve(const SpeedOutcome &outcome);

private:
    QPromise<SpeedOutcome> m_promise;
    std::atomic<bool> m_resolved = false;
};

// Runs measurements on the thread it lives on, each with an access manager of its own, so no
// cache, cookie, credential or connection is shared between them.
class SpeedWorker : public QObject
{
public:
    using QObject::QObject;

    // The median of three timed GETs of url after an untimed one, in milliseconds.
    void latency(const QUrl &url, std::shared_ptr<Completion> done);
    // Megabits per second of a GET of url, or of a POST of body when there is one.
    void transfer(const QUrl &url, std::optional<QByteArray> body, std::chrono::milliseconds cap,
                  std::shared_ptr<Completion> done);
    // Ends every measurement still running; each is resolved before this returns.
    void stopAll();
};

} // namespace velmora::detail
