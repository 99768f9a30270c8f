// Signing with HMAC-MD5, Base64, request ids, the order sequence counter and the builders of
// the five signed request addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "records.h"
#include "request_ids.h"

namespace vortal {

inline constexpr std::size_t kSignatureSize = 33;  // 32 lowercase hex digits and a NUL
inline constexpr std::size_t kMaxSignTextLength = 255;

// HMAC-MD5 of the message under the key, as lowercase hex. Fails for an empty message or key.
bool sign(std::string_view message, std::string_view key, char (&signature)[kSignatureSize]);

// Two lowercase hex digits per byte; returns the number of digits written (plus a NUL).
std::size_t hex_encode(const unsigned char* bytes, std::size_t length, char* out);

// Standard Base64 (RFC 4648, "=" padding, no line breaks) into out, with a NUL. Returns the
// number of characters, 0 when the text or its NUL would not fit in size bytes.
std::size_t base64_encode(std::string_view bytes, char* out, std::size_t size);

// The till's order counter, which created orders and box orders take their numbers from.
RequestIds& order_sequence();

// The local time to form a new scan-pay request id from: a second that no process of the till
// took before (see RequestIds).
platform::LocalTime scan_pay_id_time();

// An amount the service is asked for: a positive decimal with at most two decimal places,
// short enough for the result's amount field (12 characters).
bool valid_amount(std::string_view amount);

using Address = char[kAddressSize];
using RequestId = char[kRequestIdSize];

// Each builder fails, delivering nothing, when a required value is empty, an amount is not
// valid_amount, a value holds a line break or the signature cannot be computed.
// The scan-pay id is formed from id_time(), the created order's from the number that
// sequence gives at now; each is taken once the values are found good.
bool build_scan_pay(const TransRequest& request, platform::LocalTime (*id_time)(), Address& address,
                    RequestId& request_id);
bool build_query(const TransRequest& request, Address& address);
bool build_refund(const TransRequest& request, Address& address);
bool build_create_order(const TransRequest& request, const platform::LocalTime& now,
                        RequestIds& sequence, Address& address, RequestId& request_id);

struct MachineOrder {
    std::string_view server_path;
    std::string_view machine_no;
    std::string_view request_id;
    std::string_view amount;
    std::string_view description;
    std::string_view extra_info;
    std::string_view key;
};
bool build_machine_order(const MachineOrder& order, Address& address);

}  // namespace vortal
