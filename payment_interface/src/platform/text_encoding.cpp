#include "platform/text_encoding.h"

#include <cstdint>

namespace vortal::platform {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t code_point;
    std::size_t length;  // 0: the bytes do not begin a valid sequence
};

// One UTF-8 sequence at the start of bytes (RFC 3629: no overlong forms, no surrogates,
// nothing beyond U+10FFFF).
Decoded decode_one(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {0, 0};
    }
    if (bytes.size() < length) return {0, 0};
    char32_t code_point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {0, 0};
        code_point = (code_point << 6) | (next & 0x3F);
    }
    return {code_point, length};
}

void append_unit(std::string& out, std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

bool is_utf8_beyond_ascii(std::string_view bytes) {
    bool beyond_ascii = false;
    while (!bytes.empty()) {
        const Decoded decoded = decode_one(bytes);
        if (decoded.length == 0) return false;
        beyond_ascii |= decoded.length > 1;
        bytes.remove_prefix(decoded.length);
    }
    return beyond_ascii;
}

}  // namespace

TextEncoding text_encoding(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) return TextEncoding::utf8_with_bom;
    if (bytes.substr(0, kUtf16Mark.size()) == kUtf16Mark) return TextEncoding::utf16;
    return is_utf8_beyond_ascii(bytes) ? TextEncoding::utf8 : TextEncoding::gbk;
}

const char* encoding_name(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf8:
            return "UTF-8";
        case TextEncoding::utf8_with_bom:
            return "UTF-8 with BOM";
        case TextEncoding::utf16:
            return "UTF-16";
        case TextEncoding::gbk:
            break;
    }
    return "GBK";
}

std::string unicode_text(std::string_view bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf8_with_bom:
            return utf16le_from_utf8(bytes.substr(kUtf8Mark.size()));
        case TextEncoding::utf16: {
            // A last odd byte is half a character: it is dropped.
            const std::string_view units = bytes.substr(kUtf16Mark.size());
            return std::string(units.substr(0, units.size() - units.size() % 2));
        }
        case TextEncoding::gbk:
        case TextEncoding::utf8:
            break;
    }
    return std::string();
}

std::string utf16le_from_utf8(std::string_view utf8) {
    std::string utf16;
    utf16.reserve(utf8.size() * 2);
    while (!utf8.empty()) {
        Decoded decoded = decode_one(utf8);
        if (decoded.length == 0) decoded = {kReplacement, 1};
        if (decoded.code_point > 0xFFFF) {
            const std::uint32_t above = decoded.code_point - 0x10000;
            append_unit(utf16, 0xD800 + (above >> 10));
            append_unit(utf16, 0xDC00 + (above & 0x3FF));
        } else {
            append_unit(utf16, decoded.code_point);
        }
        utf8.remove_prefix(decoded.length);
    }
    return utf16;
}

}  // namespace vortal::platform
