#include "curlhandles.h"

#include <mutex>

namespace velmora::curl {

void ensureGlobalInit()
{
    // Never undone: other threads may still hold handles when the process ends.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace velmora::curl
