#include "library_lock.h"

#include <chrono>

#include "log.h"
#include "messages.h"
#include "platform/platform.h"

namespace vortal {

namespace {

constexpr std::uint32_t kLongWaitMs = 1000;
constexpr std::uint32_t kLettingGoMs = 1000;

std::recursive_timed_mutex g_library_lock;  // lives from load to unload

}  // namespace

LibraryLockHold::LibraryLockHold(std::uint32_t wait_ms) : hold_(g_library_lock, std::defer_lock) {
    const std::uint32_t started = platform::tick_count_ms();
    if (!hold_.try_lock_for(std::chrono::milliseconds(wait_ms))) {
        debug_trace(msg::kLockNotTaken, static_cast<unsigned>(wait_ms));
        return;
    }
    const std::uint32_t waited = platform::tick_count_ms() - started;
    if (waited > kLongWaitMs) debug_trace(msg::kLockWaited, static_cast<unsigned>(waited));
}

std::uint32_t longest_lock_wait_ms() {
    return platform::exchange_limits().total_ms + kLettingGoMs;
}

}  // namespace vortal
