// Letter case as the Windows profile, registry and proxy rules compare names: ASCII letters
// only, every other byte as it is. The trail byte of a GBK character is compared as it is too,
// even where it is the code of a letter (8F 41 and 8F 61 are two characters).
#pragma once

#include <cstddef>
#include <string_view>

#include "gbk_text.h"

namespace vortal::platform {

inline char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size();) {
        const std::size_t length = gbk::char_length(prefix, i);
        if (length == 1 ? ascii_lower(text[i]) != ascii_lower(prefix[i])
                        : text.substr(i, length) != prefix.substr(i, length)) {
            return false;
        }
        i += length;
    }
    return true;
}

inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_ignoring_ascii_case(a, b);
}

}  // namespace vortal::platform
