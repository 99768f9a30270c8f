#include "connection_string.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "core/registry_values.h"
#include "core/text.h"

namespace tessary::odbc {
namespace {

// Attribute values with separators or surrounding blanks go in braces, a closing brace
// doubled as ODBC has it. unixODBC and FreeTDS end a braced value at its first byte "}"
// whatever follows, so the connection refuses registry values that would hold one there
// before they come here (core/registry_values.h). A plain value may hold that byte as the
// second one of a GBK character.
std::string attribute(const std::string& name, const std::string& value) {
    if (!connection_value_needs_braces(value)) return name + "=" + value + ";";
    std::string quoted = "{";
    for (std::size_t at = 0; at < value.size(); at += text::character_length(value, at)) {
        quoted.append(value, at, text::character_length(value, at));
        if (value[at] == '}') quoted += '}';
    }
    return name + "=" + quoted + "};";
}

bool is_freetds(const std::string& driver) {
    const std::string name = text::lower(driver);
    return name.find("freetds") != std::string::npos || name.find("tdsodbc") != std::string::npos;
}

std::string trimmed(std::string_view text) {
    return std::string(text::trim_blanks(text));
}

}  // namespace

std::string driver_from_environment() {
    const char* driver = std::getenv("TESSARY_ODBC_DRIVER");
    return driver != nullptr && *driver != '\0' ? driver : kDefaultDriver;
}

std::string build_connection_string(const Transaction::Settings& settings,
                                    const std::string& driver) {
    if (!is_freetds(driver)) {
        std::string text = attribute("DRIVER", driver);
        text += attribute("Server", trimmed(settings.server_name));
        text += attribute("Database", settings.database);
        text += attribute("UID", settings.log_id);
        text += attribute("PWD", settings.log_pass);
        return text;
    }

    std::string server = trimmed(settings.server_name);
    std::string port;
    const auto comma = server.rfind(',');
    if (comma != std::string::npos) {
        port = trimmed(server.substr(comma + 1));
        server = trimmed(server.substr(0, comma));
        // An explicit port reaches the instance directly; FreeTDS takes one or the other.
        const auto backslash = server.find('\\');
        if (backslash != std::string::npos) server.erase(backslash);
    }
    const auto backslash = server.find('\\');
    const std::string host = server.substr(0, backslash);
    if (host == "." || text::lower(host) == "(local)") {
        server.replace(0, host.size(), "localhost");
    }

    std::string text = attribute("DRIVER", driver);
    text += attribute("Server", server);
    if (!port.empty()) text += attribute("Port", port);
    // The driver reads the connection string as Latin-1, before it knows the client character
    // set, and would log in to a database named in Chinese by other characters: such a name
    // is left out, and the connection selects the database with use, as it always does.
    const bool ascii = std::all_of(settings.database.begin(), settings.database.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) text += attribute("Database", settings.database);
    text += attribute("UID", settings.log_id);
    text += attribute("PWD", settings.log_pass);
    text += attribute("ClientCharset", "GBK");
    return text;
}

}  // namespace tessary::odbc
