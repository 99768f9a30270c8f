// The request text of Z_ALITrans: "|"-terminated fields, the first naming the operation.
#pragma once

#include <string_view>

#include "records.h"

namespace vortal {

// Fills the operation and the input fields of a zeroed request record. Returns false when
// the text is empty, longer than 4096 bytes, has no "|" or a token longer than 259 bytes:
// then nothing is taken. Otherwise takes the operation's fields in order until one is
// missing or too long for its field; the fields not taken stay empty.
bool parse_request(const char* input, TransRequest& request);

// The token that names the operation ("Z1" to "Z6"); empty for none.
std::string_view operation_token(Operation operation);

}  // namespace vortal
