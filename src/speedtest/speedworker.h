#pragma once

#include "curlrequest.h"
#include "speedmeasurements.h"
#include "transferloop.h"

#include <QFuture>
#include <QPromise>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

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

// Runs measurements one after another on a thread of its own, each with connections of its
// own, so nothing is shared between them.
class SpeedWorker
{
public:
    SpeedWorker();
    // Ends the measurement running and those waiting; each is resolved before this returns.
    ~SpeedWorker();
    SpeedWorker(const SpeedWorker &) = delete;
    SpeedWorker &operator=(const SpeedWorker &) = delete;

    // The median of three timed GETs after an untimed one, in milliseconds.
    void latency(RequestOptions options, std::shared_ptr<Completion> done);
    // Megabits per second of a GET, or of a POST when options ask for an upload.
    void transfer(RequestOptions options, std::chrono::milliseconds cap,
                  std::shared_ptr<Completion> done);

private:
    void post(std::function<void()> job);
    void runJobs();

    StopSignal m_stop;
    std::mutex m_lock; // guards m_jobs and m_quit
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace velmora::detail
