#include "platform/profile_rules.h"

#include <cstdint>

#include "gbk_text.h"
#include "platform/ascii_case.h"

namespace vortal::platform {

namespace {

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string_view strip_one_pair_of_quotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Takes the next line off rest, without its surrounding blanks.
std::string_view take_line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

// The value of a "name=value" line when its name is the one asked for, blanks removed.
std::optional<std::string_view> entry_value(std::string_view line, std::string_view name) {
    const std::size_t equals = gbk::find(line, '=');
    if (equals == std::string_view::npos ||
        !equal_ignoring_ascii_case(trim(line.substr(0, equals)), name)) {
        return std::nullopt;
    }
    return trim(line.substr(equals + 1));
}

// The name in a section line "[name]"; a line without its "]" names what follows the "[". The
// name may end in a character whose trail byte is "]" (0x5D).
std::string_view section_name(std::string_view line) {
    const std::size_t close = gbk::find(line, ']');
    return trim(
        line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

}  // namespace

std::optional<std::string> profile_value(std::string_view content, std::string_view section,
                                         std::string_view key) {
    bool in_section = false;
    bool section_seen = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::string_view line = take_line(rest);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (section_seen) return std::nullopt;
            in_section = equal_ignoring_ascii_case(section_name(line), section);
            section_seen = in_section;
            continue;
        }
        if (!in_section) continue;
        if (const auto value = entry_value(line, key)) {
            return std::string(strip_one_pair_of_quotes(*value));
        }
    }
    return std::nullopt;
}

bool profile_has_section(std::string_view content, std::string_view section) {
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::string_view line = take_line(rest);
        if (!line.empty() && line.front() == '[' &&
            equal_ignoring_ascii_case(section_name(line), section)) {
            return true;
        }
    }
    return false;
}

int profile_number(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10U + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) value = 0U - value;
    return static_cast<int>(value);
}

bool profile_number_exact(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    const std::int64_t limit = (std::int64_t{1} << 31) - (negative ? 0 : 1);
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > limit) return false;
    }
    return true;
}

std::optional<std::string> registry_value(std::string_view content, std::string_view key_path,
                                          std::string_view value_name) {
    bool in_key = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::string_view line = take_line(rest);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && gbk::rfind(line, ']') == line.size() - 1) {
            in_key = equal_ignoring_ascii_case(trim(line.substr(1, line.size() - 2)), key_path);
            continue;
        }
        if (!in_key) continue;
        if (const auto value = entry_value(line, value_name)) return std::string(*value);
    }
    return std::nullopt;
}

}  // namespace vortal::platform
