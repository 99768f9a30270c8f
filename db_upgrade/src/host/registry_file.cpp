#include "registry_file.h"

namespace tessary::host {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> find_registry_value(std::istream& file, const std::string& key_path,
                                               const std::string& value_name) {
    bool in_key = false;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[' && text.back() == ']') {
            in_key = same_ignoring_case(trimmed(text.substr(1, text.size() - 2)), key_path);
            continue;
        }
        if (!in_key) continue;
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        if (same_ignoring_case(trimmed(text.substr(0, equals)), value_name)) {
            return trimmed(text.substr(equals + 1));
        }
    }
    return std::nullopt;
}

}  // namespace tessary::host
