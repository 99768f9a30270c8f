// The library lock: one process-wide re-entrant lock, held only around each HTTP exchange
// (and, on box-service terminals, around the use of the box service's shared record).
#pragma once

#include <cstdint>

namespace vortal {

// Holds the library lock for its scope, once it could be taken within wait_ms. Exchanges
// follow one another, and each ends within its limits, so a call need not wait longer than
// the exchange ahead of it can last (longest_lock_wait_ms); a holder that outlasts even that
// costs the waiting call its exchange, never its answer. A call that waited more than a second
// says so on the debugger output, and so does one that could not take the lock.
class LibraryLockHold {
  public:
    explicit LibraryLockHold(std::uint32_t wait_ms);
    ~LibraryLockHold();
    LibraryLockHold(const LibraryLockHold&) = delete;
    LibraryLockHold& operator=(const LibraryLockHold&) = delete;

    bool held() const { return held_; }

  private:
    bool held_ = false;
};

// The longest an exchange can hold the lock, and a moment for the holder to let go.
std::uint32_t longest_lock_wait_ms();

}  // namespace vortal
