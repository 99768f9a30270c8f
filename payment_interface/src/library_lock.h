// The library lock: one process-wide re-entrant lock, held only around each HTTP exchange
// (and, on box-service terminals, around the use of the box service's shared record).
#pragma once

#include <mutex>

namespace vortal {

// Holds the library lock for its scope. Exchanges follow one another, so a call may wait for
// every exchange ahead of it; one that waited more than a second says so on the debugger
// output.
class LibraryLockHold {
  public:
    LibraryLockHold();
    LibraryLockHold(const LibraryLockHold&) = delete;
    LibraryLockHold& operator=(const LibraryLockHold&) = delete;

  private:
    std::lock_guard<std::recursive_mutex> hold_;
};

}  // namespace vortal
