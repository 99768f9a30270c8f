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

// The exchange of a request that creates an order, built when built is true ("01"
// otherwise), signed and checked with request.sign_key: on success "00" with the payment
// address of the answer as message and request.request_id as the order's id; otherwise the
// failure's code and message. The debugger texts, when given, tell of a sent request (while
// the lock is held) and of a refusal.
bool obtain_payment_address(bool built, const TransRequest& request, const char* address,
                            TransResult& result, const char* sent_text = nullptr,
                            const char* refused_text = nullptr);

}  // namespace vortal
