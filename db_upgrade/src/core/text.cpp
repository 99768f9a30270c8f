#include "text.h"

#include <cstdio>

namespace tessary::text {
namespace {

char lower_letter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

template <typename Convert>
std::string single_byte_letters(std::string_view text, Convert convert) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); i += character_length(out, i)) {
        if (!lead_byte(out[i])) out[i] = convert(out[i]);
    }
    return out;
}

}  // namespace

bool lead_byte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

std::size_t character_length(std::string_view text, std::size_t at) {
    return lead_byte(text[at]) && at + 1 < text.size() ? 2 : 1;
}

std::size_t characters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += character_length(text, at)) ++count;
    return count;
}

std::string_view last_character(std::string_view text) {
    std::size_t last = 0;
    for (std::size_t at = 0; at < text.size(); at += character_length(text, at)) last = at;
    return text.substr(last);
}

std::size_t find_character(std::string_view text, std::string_view set, std::size_t from) {
    for (std::size_t at = from; at < text.size(); at += character_length(text, at)) {
        if (!lead_byte(text[at]) && set.find(text[at]) != std::string_view::npos) return at;
    }
    return std::string_view::npos;
}

std::string byte_code(char c) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(c)));
    return code;
}

char Lowering::operator()(char c) {
    if (trail_) {
        trail_ = false;
        return c;
    }
    trail_ = lead_byte(c);
    return lower_letter(c);
}

std::string lower(std::string_view text) {
    return single_byte_letters(text, lower_letter);
}

std::string upper(std::string_view text) {
    return single_byte_letters(
        text, [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
}

std::string reverse_bytes(std::string_view text) {
    return std::string(text.rbegin(), text.rend());
}

std::string_view trim_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool is_blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
}

std::string_view first_bytes(std::string_view text, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + (lead_byte(text[end]) ? 2 : 1);
        if (next > max_bytes || next > text.size()) break;
        end = next;
    }
    return text.substr(0, end);
}

std::string one_line(std::string_view text) {
    std::string out;
    bool pending_break = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == '\t') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            pending_break = true;
        } else if (lead_byte(c) && i + 1 < text.size()) {
            if (pending_break && !out.empty()) out += ' ';
            pending_break = false;
            out += c;
            out += text[++i];
        } else if (c != ' ' || !pending_break) {
            if (pending_break && !out.empty()) out += ' ';
            pending_break = false;
            out += c;
        }
    }
    return std::string(trim_blanks(out));
}

}  // namespace tessary::text
