// Letter case as the Windows profile, registry and proxy rules compare names: ASCII letters
// only, every other byte (GBK included) as it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace vortal::platform {

inline char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (ascii_lower(text[i]) != ascii_lower(prefix[i])) return false;
    }
    return true;
}

inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_ignoring_ascii_case(a, b);
}

}  // namespace vortal::platform
