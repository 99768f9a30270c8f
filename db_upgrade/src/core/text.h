#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-string functions over GBK text, as the window's code counts: positions and lengths
// in bytes, letter case changed for single-byte letters only.

namespace tessary::text {

// A GBK lead byte: the byte after it belongs to the same character.
bool lead_byte(char c);

// GBK is read a character at a time, from the front: the second byte of a double-byte
// character may have the value of a backslash, "|", "}" or "]", and is none of them.

// How many bytes the character at `at` has: 2 for a lead byte with a byte after it, else 1.
std::size_t character_length(std::string_view text, std::size_t at);

// How many characters the text has (a lead byte at its very end counts as one).
std::size_t characters(std::string_view text);

// The last character of the text; empty for an empty text.
std::string_view last_character(std::string_view text);

// Where the first single-byte character of `set` lies in the text from `from` (where a
// character starts) on, never at the second byte of a double-byte character; npos when
// there is none.
std::size_t find_character(std::string_view text, std::string_view set, std::size_t from = 0);

// A byte as messages show it, "0x1F".
std::string byte_code(char c);

// The text with its single-byte letters A-Z in lower (upper) case. The two bytes of a
// double-byte character stay as they are, even where the second one has the value of a
// letter.
std::string lower(std::string_view text);
std::string upper(std::string_view text);

// Lowers a text that comes a byte at a time exactly as lower() lowers it whole.
class Lowering {
  public:
    char operator()(char c);

  private:
    bool trail_ = false;  // the byte is the second one of a double-byte character
};

// The bytes in reverse order: the last byte first. A double-byte character comes out with
// its two bytes swapped, and reversing again restores it.
std::string reverse_bytes(std::string_view text);

// The text without its leading and trailing blanks (spaces only).
std::string_view trim_blanks(std::string_view text);

// Whether the text holds nothing but white space (blanks, tabs and line ends).
bool is_blank(std::string_view text);

// The longest beginning of the text of at most `max_bytes` bytes that does not cut a
// double-byte character in two.
std::string_view first_bytes(std::string_view text, std::size_t max_bytes);

// The text on one line: each line break or tab, with the blanks around it, becomes one
// blank, and the ends are trimmed.
std::string one_line(std::string_view text);

}  // namespace tessary::text
