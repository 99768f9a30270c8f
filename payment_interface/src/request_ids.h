// The times and counters of new request ids, shared by every process of a till. A scan-pay id
// names its second, a created order's id its second and a counter, a box order's id its
// minute and the same counter; the service refuses a second order of an id it has. The point-of-
// sale program, a cashier's vortal-cli beside it and a host that loads the library anew for
// each call must therefore never take the same ones. The last scan-pay second and the last
// order's second and counter are kept in "request-ids.txt" in the journal's folder (one line:
// "YYYYMMDDhhmmss<TAB>YYYYMMDDhhmmss<TAB>counter" and CR LF), read and replaced under an
// exclusive lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace vortal {

inline constexpr char kRequestIdsFileName[] = "request-ids.txt";

struct OrderNumber {
    platform::LocalTime time;  // the time to form the id from
    std::uint32_t number;      // the counter
};

// What was taken last: local times as seconds since 1970-01-01 00:00, 0 for none.
struct TakenIds {
    std::int64_t scan_pay_second;
    std::int64_t order_second;
    std::uint32_t order_counter;
};

// A time taken more than a day ahead of the clock is one of a clock set wrong and put right
// since: it is not kept to.
class RequestIds {
  public:
    // The second of a new scan-pay id: now, or the second after the last one taken when that
    // was now or later (several charges in one second, a clock set back).
    platform::LocalTime take_scan_pay_second(const platform::LocalTime& now);

    // The time and counter of a new created or box order: counter 1 for the first order of a
    // minute, then one more for each; when the clock stands before the last order's second,
    // that second and the next counter.
    OrderNumber take_order_number(const platform::LocalTime& now);

  private:
    // Under both locks: what the file and this object last took, advanced, written back. When
    // the file cannot be used (the debugger is told), what this object took holds alone: the
    // ids are then unique in this process only, and the journal of the same folder will not
    // take the operation's line either.
    TakenIds take(const platform::LocalTime& now, void (*advance)(TakenIds&, std::int64_t));

    std::mutex lock_;
    TakenIds last_{};
};

}  // namespace vortal
