#include "file_names.h"

#include <map>

#include "system.h"
#include "text.h"

namespace tessary::files {
namespace {

// The device a name stands for on Windows, or an empty text. Windows reads the name up to
// its first dot, without the blanks at the end of that part.
std::string device(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string upper = text::upper(base);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device) return upper;
    }
    const bool numbered = upper.size() == 4 &&
                          (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
                          upper[3] >= '1' && upper[3] <= '9';
    return numbered ? upper : std::string();
}

// A name as Windows compares it, each letter GBK holds in both cases in lower case.
std::string windows_folded(std::string_view name) {
    // The rows of GB2312 whose capitals lie at a fixed distance from their small letters.
    struct Row {
        unsigned char lead, first_capital, last_capital;
        int to_small;
    };
    static constexpr Row kRows[] = {
        {0xA2, 0xF1, 0xFA, -0x50},  // Roman numerals
        {0xA3, 0xC1, 0xDA, 0x20},   // full-width Latin
        {0xA6, 0xA1, 0xB8, 0x20},   // Greek
        {0xA7, 0xA1, 0xC1, 0x30},   // Cyrillic
    };
    std::string folded = text::lower(name);
    for (std::size_t i = 0; i < folded.size(); i += text::character_length(folded, i)) {
        if (text::character_length(folded, i) != 2) continue;
        const auto lead = static_cast<unsigned char>(folded[i]);
        const auto trail = static_cast<unsigned char>(folded[i + 1]);
        for (const Row& row : kRows) {
            if (lead == row.lead && trail >= row.first_capital && trail <= row.last_capital) {
                folded[i + 1] = static_cast<char>(trail + row.to_small);
            }
        }
    }
    return folded;
}

}  // namespace

std::optional<std::string> windows_name_problem(std::string_view name) {
    if (name.empty()) return "为空";
    for (std::size_t i = 0; i < name.size(); i += text::character_length(name, i)) {
        const char c = name[i];
        if (text::lead_byte(c)) continue;
        if (static_cast<unsigned char>(c) < 0x20) return "含有控制字符 " + text::byte_code(c);
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return std::string("含有 Windows 文件名不允许的字符“") + c + "”";
        }
    }
    const std::string device_name = device(name);
    if (!device_name.empty()) return "是 Windows 的设备名 " + device_name;
    if (name.back() == '.' || name.back() == ' ') return "以点或空格结尾，Windows 会去掉它";
    // A GBK character is one UTF-16 code unit, as Windows counts a name.
    constexpr std::size_t kLongestName = 255;
    const std::size_t written = text::characters(name) + kTemporarySuffixLength;
    if (written > kLongestName) {
        return "连同写入时的临时后缀共 " + std::to_string(written) +
               " 个字符，超过了 Windows 文件名的上限 " + std::to_string(kLongestName);
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> same_file_on_windows(
    const std::vector<std::string>& names) {
    std::map<std::string, const std::string*> seen;
    for (const std::string& name : names) {
        const auto [earlier, first] = seen.emplace(windows_folded(name), &name);
        if (!first) return std::make_pair(*earlier->second, name);
    }
    return std::nullopt;
}

}  // namespace tessary::files
