// How a text file is written, told by its byte-order mark or its bytes, and the UTF-8 decoding
// that the platforms without Windows' conversions use. Windows' profile functions read a file
// that starts with a UTF-8 or a UTF-16 LE byte-order mark as Unicode and every other file in
// the ANSI code page (GBK); the POSIX reader does the same with these rules.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vortal::platform {

enum class TextEncoding {
    gbk,   // no byte-order mark: read in the ANSI code page
    utf8,  // no byte-order mark, valid UTF-8 with non-ASCII bytes: read as GBK all the same
    utf8_with_bom,  // read as Unicode
    utf16,          // UTF-16 LE with its byte-order mark: read as Unicode
};

TextEncoding text_encoding(std::string_view bytes);

// The name a person knows the encoding by: "GBK", "UTF-8", "UTF-8 with BOM", "UTF-16".
const char* encoding_name(TextEncoding encoding);

// The text of a file read as Unicode, as UTF-16 LE bytes without the byte-order mark. Empty
// for a file that is read in the ANSI code page.
std::string unicode_text(std::string_view bytes, TextEncoding encoding);

// UTF-8 as UTF-16 LE bytes. Each byte that does not begin a valid sequence becomes U+FFFD, as
// Windows' conversion does without its strict flag.
std::string utf16le_from_utf8(std::string_view utf8);

}  // namespace vortal::platform
