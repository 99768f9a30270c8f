// GBK text a character at a time. A double-byte character is a lead byte 0x81 to 0xFE and a
// trail byte 0x40 to 0xFE other than 0x7F, and that trail byte may be "|", "\" or "}" (東 is
// 96 7C, 淺 9C 5C, 倉 82 7D): a search byte by byte would split such a character. Every search
// for a delimiter or a separator in the library's GBK texts, and every cut of one, goes
// through here, as Windows' own ANSI functions step over whole characters.
#pragma once

#include <cstddef>
#include <string_view>

namespace vortal::gbk {

inline constexpr std::size_t npos = std::string_view::npos;

// The length of the character that begins at text[at]: 2 for a lead byte followed by a trail
// byte, 1 for every other byte (a lead byte without its trail byte included).
std::size_t char_length(std::string_view text, std::size_t at);

// The first byte of chars that stands as a character of its own, at or after from; npos when
// there is none. chars are single-byte characters.
std::size_t find_first_of(std::string_view text, std::string_view chars, std::size_t from = 0);
inline std::size_t find(std::string_view text, char c, std::size_t from = 0) {
    return find_first_of(text, std::string_view(&c, 1), from);
}

// The last byte of chars that stands as a character of its own; npos when there is none.
std::size_t find_last_of(std::string_view text, std::string_view chars);
inline std::size_t rfind(std::string_view text, char c) {
    return find_last_of(text, std::string_view(&c, 1));
}

// Whether text ends in a lead byte that has lost its trail byte: a character cut in two.
bool ends_in_cut_char(std::string_view text);

// The length of prefix, the beginning of a longer text cut at a byte count, without a lead
// byte that ends it alone, so that a cut never leaves half a character at the end.
std::size_t whole_length(std::string_view prefix);

}  // namespace vortal::gbk
