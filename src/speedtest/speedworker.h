#pragma once

#include "curlrequest.h"
#include "measurementrunner.h"
#include "transferloop.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora::detail {

// Runs measurements one after another on a thread of its own, each with connections of its
// own, so nothing is shared between them.
class SpeedWorker final : public MeasurementRunner
{
public:
    SpeedWorker();
    // Ends the measurement running and those waiting; each is resolved, or dropped unresolved,
    // before this returns.
    ~SpeedWorker() override;
    SpeedWorker(const SpeedWorker &) = delete;
    SpeedWorker &operator=(const SpeedWorker &) = delete;

    void latency(RequestOptions options, Resolve done) override;
    void transfer(RequestOptions options, std::chrono::milliseconds cap, Resolve done) override;

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
