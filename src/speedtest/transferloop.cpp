#include "transferloop.h"

#include <algorithm>

namespace velmora {

namespace {

// Also ends a transfer stopped while libcurl is busy with it.
int abortWhenStopped(void *signal, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const StopSignal *>(signal)->isStopped() ? 1 : 0;
}

} // namespace

void StopSignal::stop()
{
    m_stopped = true;
    const std::lock_guard lock(m_lock);
    if (m_waiting)
        curl_multi_wakeup(m_waiting);
}

void StopSignal::attach(CURLM *multi)
{
    const std::lock_guard lock(m_lock);
    m_waiting = multi;
}

TransferLoop::TransferLoop(StopSignal &stop)
    : m_stop(stop)
{
    curl::ensureGlobalInit();
    m_multi.reset(curl_multi_init());
    m_stop.attach(m_multi.get());
}

TransferLoop::~TransferLoop()
{
    m_stop.attach(nullptr);
}

TransferLoop::Ending TransferLoop::run(CURL *easy, Clock::time_point deadline)
{
    using namespace std::chrono;
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &abortWhenStopped);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &m_stop);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_multi_add_handle(m_multi.get(), easy);

    Ending ending;
    for (;;) {
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        int queued = 0;
        if (const CURLMsg *message = curl_multi_info_read(m_multi.get(), &queued);
            message && message->msg == CURLMSG_DONE) {
            ending = {End::completed, message->data.result};
            break;
        }
        if (m_stop.isStopped()) {
            ending = {End::stopped};
            break;
        }
        const auto left = ceil<milliseconds>(deadline - Clock::now());
        if (left <= 0ms) {
            ending = {End::deadline};
            break;
        }
        // libcurl's own timers (time-outs, retries) come first when they are due sooner.
        long due = -1;
        curl_multi_timeout(m_multi.get(), &due);
        const long wait = due < 0 ? long(left.count()) : std::min(due, long(left.count()));
        curl_multi_poll(m_multi.get(), nullptr, 0, int(std::min(wait, 1000L)), nullptr);
    }
    curl_multi_remove_handle(m_multi.get(), easy);
    return ending;
}

} // namespace velmora
