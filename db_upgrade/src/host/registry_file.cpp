#include "registry_file.h"

#include "core/text.h"

namespace tessary::host {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
    return text::lower(a) == text::lower(b);
}

}  // namespace

std::optional<std::string> registry_file_encoding_problem(std::string_view start) {
    if (start.substr(0, 3) == "\xEF\xBB\xBF") return "以 UTF-8 的字节顺序标记开头，是 UTF-8 文本";
    if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF") {
        return "以 UTF-16 的字节顺序标记开头，是 UTF-16 文本";
    }
    if (start.find('\0') != std::string_view::npos) return "含有零字节，像是 UTF-16 文本";
    return std::nullopt;
}

std::optional<std::string> find_registry_value(std::istream& file, const std::string& key_path,
                                               const std::string& value_name) {
    bool in_key = false;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string entry = trimmed(line);
        if (entry.empty() || entry[0] == ';' || entry[0] == '#') continue;
        if (entry.front() == '[' && text::last_character(entry) == "]") {
            in_key = same_ignoring_case(trimmed(entry.substr(1, entry.size() - 2)), key_path);
            continue;
        }
        if (!in_key) continue;
        const auto equals = entry.find('=');
        if (equals == std::string::npos) continue;
        if (same_ignoring_case(trimmed(entry.substr(0, equals)), value_name)) {
            return trimmed(entry.substr(equals + 1));
        }
    }
    return std::nullopt;
}

}  // namespace tessary::host
