#include "registry_values.h"

#include "text.h"

namespace tessary {

bool connection_value_needs_braces(std::string_view value) {
    return text::find_character(value, ";{}=") != std::string_view::npos ||
           (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

std::optional<std::string> connection_value_fault(std::string_view value) {
    const std::string shown = "“" + std::string(value) + "”";
    for (std::size_t at = 0; at < value.size(); at += text::character_length(value, at)) {
        const char c = value[at];
        if (text::lead_byte(c)) continue;
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return "含有控制字符 " + text::byte_code(c) + "，不能原样用于连接";
        }
        if (c == ';' || c == '}') return shown + "含有字符“" + c + "”，不能原样用于连接";
    }
    if (!connection_value_needs_braces(value)) return std::nullopt;
    for (std::size_t at = 0; at < value.size(); at += text::character_length(value, at)) {
        if (text::character_length(value, at) == 2 && value[at + 1] == '}') {
            return shown +
                   "须加花括号才能写进连接字符串（它以空格开头或结尾，或含有“=”或“{”），而其中“" +
                   std::string(value.substr(at, 2)) +
                   "”字的编码的第二个字节正是“}”，数据库驱动程序会在那里把值截断，"
                   "不能原样用于连接";
        }
    }
    return std::nullopt;
}

std::optional<std::string> server_port_fault(std::string_view server_name) {
    const std::size_t comma = server_name.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string_view port = text::trim_blanks(server_name.substr(comma + 1));
    long number = 0;
    bool digits = !port.empty();
    for (const char c : port) {
        digits = digits && c >= '0' && c <= '9';
        if (digits && number <= 65535) number = number * 10 + (c - '0');
    }
    if (digits && number >= 1 && number <= 65535) return std::nullopt;
    return "端口“" + std::string(port) + "”不是 1 到 65535 之间的数";
}

}  // namespace tessary
