#include "gbk_text.h"

namespace vortal::gbk {

namespace {

bool is_lead_byte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool is_trail_byte(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

}  // namespace

std::size_t char_length(std::string_view text, std::size_t at) {
    const bool pair = at + 1 < text.size() && is_lead_byte(static_cast<unsigned char>(text[at])) &&
                      is_trail_byte(static_cast<unsigned char>(text[at + 1]));
    return pair ? 2 : 1;
}

std::size_t find_first_of(std::string_view text, std::string_view chars, std::size_t from) {
    // A character begins only where the one before it ends: the walk starts at the text's start.
    for (std::size_t at = 0; at < text.size(); at += char_length(text, at)) {
        if (at >= from && chars.find(text[at]) != std::string_view::npos) return at;
    }
    return npos;
}

std::size_t find_last_of(std::string_view text, std::string_view chars) {
    std::size_t last = npos;
    for (std::size_t at = 0; at < text.size(); at += char_length(text, at)) {
        if (chars.find(text[at]) != std::string_view::npos) last = at;
    }
    return last;
}

bool ends_in_cut_char(std::string_view text) {
    std::size_t at = 0;
    std::size_t last = 0;
    for (; at < text.size(); at += char_length(text, at)) last = at;
    return !text.empty() && last == text.size() - 1 &&
           is_lead_byte(static_cast<unsigned char>(text.back()));
}

std::size_t whole_length(std::string_view prefix) {
    return ends_in_cut_char(prefix) ? prefix.size() - 1 : prefix.size();
}

}  // namespace vortal::gbk
