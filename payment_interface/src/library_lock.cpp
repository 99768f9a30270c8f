#include "library_lock.h"

#include "log.h"
#include "messages.h"
#include "platform/platform.h"

namespace vortal {

namespace {

constexpr std::uint32_t kLongWaitMs = 1000;
constexpr std::uint32_t kLettingGoMs = 1000;

}  // namespace

LibraryLockHold::LibraryLockHold(std::uint32_t wait_ms) {
    const std::uint32_t started = platform::tick_count_ms();
    held_ = platform::take_process_lock(wait_ms);
    if (!held_) {
        debug_trace(msg::kLockNotTaken, static_cast<unsigned>(wait_ms));
        return;
    }
    const std::uint32_t waited = platform::tick_count_ms() - started;
    if (waited > kLongWaitMs) debug_trace(msg::kLockWaited, static_cast<unsigned>(waited));
}

LibraryLockHold::~LibraryLockHold() {
    if (held_) platform::give_back_process_lock();
}

std::uint32_t longest_lock_wait_ms() {
    return platform::exchange_limits().total_ms + kLettingGoMs;
}

}  // namespace vortal
