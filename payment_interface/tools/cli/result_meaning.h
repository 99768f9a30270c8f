// What a result tells the person who tries the library by hand: the meaning of its code and,
// for a refusal by the service ("04"), what the service's words say about the till's set-up.
#pragma once

#include <string_view>

// UTF-8; code and message as the record holds them (GBK).
const char* result_meaning(std::string_view code, std::string_view message);
