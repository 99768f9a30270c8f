// Checks and readers for the payment service's answers. An answer is parsed once; every
// check and reader then works on the same parse and the raw body text.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vortal {

// The raw text must outlive the answer: raw and signed_text point into it.
struct Answer {
    std::string_view raw;  // the body exactly as received
    Json::Value root;
    bool parsed = false;
    std::optional<std::string> hmac;  // the top-level "hmac"; nothing when it is not a text
    // The raw text from after "\"data\":" up to ",\"hmac\":", the first of each; empty when
    // either is missing or they are out of order.
    std::string_view signed_text;
    // What the readers take as "data": for a signed answer the value parsed from the signed
    // text itself (null when that is not JSON), so that nothing the key does not cover is read;
    // for an unsigned one the top-level "data".
    Json::Value data;
};

// A body holding a NUL byte, duplicate member names or anything after its JSON value does
// not parse.
Answer parse_answer(std::string_view body);

// The service signs the raw text of "data" (from after "\"data\":" up to ",\"hmac\":") with
// the request's key, and that text must hold the answer's one "data". An unsigned answer passes
// only when it does not claim success: a claimed success must be signed, so that a forged
// "paid" cannot pass unsigned.
bool signature_valid(const Answer& answer, std::string_view key);

// False when "data" names another order: a "requestId" that is not a text, or a text that is
// not empty and differs from request_id (GBK). The service may leave the id out.
bool concerns_order(const Answer& answer, std::string_view request_id);

// How a JSON text ends: the brackets it leaves open, innermost last, and whether it ends
// inside a text. Nothing when a bracket closes that was not opened.
struct JsonEnding {
    std::string open;
    bool inside_text = false;
};
std::optional<JsonEnding> json_ending(std::string_view text);

// True when the body ends inside a JSON object, array or text: the peer closed the connection
// before the whole answer had come, though it announced no length.
bool ends_before_complete(std::string_view body);

// True when the top-level "result" is the text "1".
bool succeeded(const Answer& answer);

// True when "data" is an array or object with at least one element.
bool has_data(const Answer& answer);

// Reads a top-level text member, converted to GBK, cut to width - 1 bytes. A missing member
// or one that is not text leaves dest empty.
void read_top_text(const Answer& answer, const char* name, char* dest, std::size_t width);

enum class DataRead {
    done,        // stored, or left empty because it was missing or too long for dest
    wrong_type,  // "data" is not an object, or the member is a number, array or object
    unparsed,
};

// Reads a text member of "data", converted to GBK; a text that does not fit in width - 1
// bytes leaves dest empty rather than cut.
DataRead read_data_text(const Answer& answer, const char* name, char* dest, std::size_t width);

template <std::size_t N>
DataRead read_data_text(const Answer& answer, const char* name, char (&dest)[N]) {
    return read_data_text(answer, name, dest, N);
}

}  // namespace vortal
