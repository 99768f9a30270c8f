// The request text of Z_ALITrans: "|"-terminated fields, the first naming the operation. The
// text is GBK: a "|" that is the trail byte of a character (東 is 96 7C) belongs to the field.
#pragma once

#include <cstddef>
#include <string_view>

#include "records.h"

namespace vortal {

enum class ParseOutcome {
    unreadable,  // empty, longer than 4096 bytes, without "|" or with a token over 259 bytes
    taken,       // the operation and its fields up to the first one missing
    refused,     // a field the record cannot hold whole; nothing may be sent
};

// The field of a refused text, by the name the till's staff know it by (GBK). longest is the
// most bytes its record holds; 0 when the field is refused for ending in half a character.
struct RefusedField {
    const char* name = nullptr;
    std::size_t longest = 0;
};

// Fills the operation and the input fields of a zeroed request record. An unreadable text
// leaves it untouched. Otherwise the operation's fields are taken in order until one is
// missing: the fields not taken stay empty. A field longer than its record, or one whose last
// byte is a lead byte that took the text's last "|" for its trail byte, refuses the text.
ParseOutcome parse_request(const char* input, TransRequest& request, RefusedField& refused);

// Whether a value passes as one field of a request text: it holds no "|" of its own and does
// not end in half a character, which would take the "|" after it.
bool passes_as_field(std::string_view value);

// The token that names the operation ("Z1" to "Z6"); empty for none.
std::string_view operation_token(Operation operation);

}  // namespace vortal
