#include "library_lock.h"

#include <cstdint>

#include "log.h"
#include "messages.h"
#include "platform/platform.h"

namespace vortal {

namespace {

constexpr std::uint32_t kLongWaitMs = 1000;

std::recursive_mutex g_library_lock;  // lives from load to unload

std::recursive_mutex& lock_after_waiting() {
    const std::uint32_t started = platform::tick_count_ms();
    g_library_lock.lock();
    const std::uint32_t waited = platform::tick_count_ms() - started;
    if (waited > kLongWaitMs) debug_trace(msg::kLockWaited, static_cast<unsigned>(waited));
    return g_library_lock;
}

}  // namespace

LibraryLockHold::LibraryLockHold() : hold_(lock_after_waiting(), std::adopt_lock) {}

}  // namespace vortal
