// The two QR-code operations of terminals that run the box service: both hand a new order
// (request id and amount) to the box service through its shared record and, once the payment
// address is known, tell it to upload the order. Every step is told in the daily log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "records.h"

namespace vortal {

// "Z6": builds the payment address itself, from the box service's QR host and a payload signed
// with the box's key.
bool build_box_qr_address(TransRequest request, TransResult& result);

// "Z5": has the payment service create the order for the box's machine and returns the
// payment address it answers with.
bool create_box_order(TransRequest request, TransResult& result);

inline constexpr std::size_t kQrHostSize = 128;

// The QR payment server's host, "TwoCodeAddr" in section "HOSTINFO" of the box service's
// Z_Config.ini, and the path of that file: in the box service's folder, or the bare name when
// the registry does not name the folder. A path that does not fit would name another file:
// then there is no host. False when there is none.
bool read_qr_host(char (&host)[kQrHostSize], std::string& config_path);

// Letters, digits, "-", "." and "~" stay; a space becomes "+"; every other byte "%xx" in
// lowercase hex. Returns the length, 0 when the text or its NUL would not fit in size bytes.
std::size_t percent_encode(std::string_view text, char* out, std::size_t size);

}  // namespace vortal
