// The library lock: one process-wide re-entrant lock, held only around each HTTP exchange
// (and, on box-service terminals, around the use of the box service's shared record).
#pragma once

#include <mutex>

namespace vortal {

std::recursive_mutex& library_lock();

}  // namespace vortal
