#include "file_names.h"

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

}  // namespace

std::optional<std::string> windows_name_problem(std::string_view name) {
    if (name.empty()) return "为空";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (text::lead_byte(c)) {
            ++i;  // the second byte of a double-byte character may have any value
        } else if (static_cast<unsigned char>(c) < 0x20) {
            return "含有控制字符 " + text::byte_code(c);
        } else if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return std::string("含有 Windows 文件名不允许的字符“") + c + "”";
        }
    }
    const std::string device_name = device(name);
    if (!device_name.empty()) return "是 Windows 的设备名 " + device_name;
    if (name.back() == '.' || name.back() == ' ') return "以点或空格结尾，Windows 会去掉它";
    return std::nullopt;
}

}  // namespace tessary::files
