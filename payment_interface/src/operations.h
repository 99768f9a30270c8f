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

// Ends an operation whose request could not be built: "01".
bool not_built(TransResult& result);

// The exchange of a built request that creates an order, signed and checked with
// request.sign_key and written to the payment journal. request.request_id is the order's id
// in the result whatever the ending; "00" with the payment address of the answer as message,
// "05" when the answer brings no address that fits the record (the message, with the
// merchant-name and shop-number fields, holds at most 259 bytes), otherwise the failure's code
// and message. True when the service created the order, with or without an address. The
// debugger texts, when given, tell of a sent request (while the lock is held) and of a
// refusal.
bool obtain_payment_address(const TransRequest& request, const char* address, TransResult& result,
                            const char* sent_text = nullptr, const char* refused_text = nullptr);

}  // namespace vortal
