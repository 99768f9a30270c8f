#include "registry_values.h"

#include "text.h"

namespace tessary {

std::optional<std::string> connection_value_fault(std::string_view value) {
    // Bytes, not characters: the driver reads the string byte by byte.
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return "含有控制字符 " + text::byte_code(c) + "，不能原样用于连接";
        }
        if (c == ';' || c == '}') return std::string("含有字符“") + c + "”，不能原样用于连接";
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
