#pragma once

#include <cstdlib>
#include <memory>

namespace velmora {

// xcb allocates each reply with malloc and leaves it to the caller to free.
struct FreeDeleter
{
    void operator()(void *reply) const { std::free(reply); }
};

// An xcb reply, freed when it goes out of scope; empty when the request failed.
template<typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

} // namespace velmora
