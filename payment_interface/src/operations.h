// The four operations that talk to the payment service. Each takes its own copy of the
// request record, fills the result record and returns whether it succeeded.
#pragma once

#include "records.h"

namespace vortal {

inline constexpr std::uint32_t kPollIntervalMs = 500;

bool scan_pay(TransRequest request, TransResult& result);      // "Z1"
bool refund_order(TransRequest request, TransResult& result);  // "Z2"
bool create_order(TransRequest request, TransResult& result);  // "Z3"
bool query_order(TransRequest request, TransResult& result);   // "Z4"

}  // namespace vortal
