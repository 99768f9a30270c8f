#include "platform/content_length.h"

#include <limits>

namespace vortal::platform {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

void AnnouncedLength::add(std::string_view value) {
    while (!value.empty() && is_blank(value.front())) value.remove_prefix(1);
    while (!value.empty() && is_blank(value.back())) value.remove_suffix(1);
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t length = 0;
    bool number = !value.empty();
    for (const char c : value) {
        if (c < '0' || c > '9') {
            number = false;
            break;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        length = length > (kMost - digit) / 10 ? kMost : length * 10 + digit;
    }
    if (!number || (present_ && length != length_)) valid_ = false;
    present_ = true;
    length_ = length;
}

}  // namespace vortal::platform
