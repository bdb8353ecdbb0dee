#pragma once

#include "curlhandles.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace velmora {

// Ends the transfers of one owner from any thread, at once: a flag they check, and a wake-up
// of the one waiting on the network.
class StopSignal
{
public:
    void stop();
    bool isStopped() const { return m_stopped.load(); }

private:
    friend class TransferLoop;
    void attach(CURLM *multi);

    std::atomic<bool> m_stopped = false;
    std::mutex m_lock; // guards m_waiting, which must not be cleaned up while woken
    CURLM *m_waiting = nullptr;
};

// Runs transfers one at a time on the calling thread, keeping connections between them.
class TransferLoop
{
public:
    using Clock = std::chrono::steady_clock;

    enum class End { completed, deadline, stopped };
    struct Ending
    {
        End how = End::completed;
        CURLcode code = CURLE_OK; // when completed
    };

    explicit TransferLoop(StopSignal &stop);
    ~TransferLoop();
    TransferLoop(const TransferLoop &) = delete;
    TransferLoop &operator=(const TransferLoop &) = delete;

    // Runs easy until it completes, the deadline passes or the signal stops it; what has not
    // completed by then is abandoned.
    Ending run(CURL *easy, Clock::time_point deadline);

    bool isStopped() const { return m_stop.isStopped(); }

private:
    StopSignal &m_stop;
    curl::Multi m_multi;
};

} // namespace velmora
