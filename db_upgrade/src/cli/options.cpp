#include <iostream>

#include "commands.h"
#include "host/host.h"

namespace tessary::cli {

int fail(const std::string& reason, int code) {
    return fail(std::cerr, reason, code);
}

int fail(std::ostream& err, const std::string& reason, int code) {
    err << "tessary-cli: " << reason << std::endl;
    return code;
}

std::optional<std::string> parse_options(const Arguments& arguments,
                                         const std::vector<std::string>& names,
                                         std::map<std::string, std::string>& values,
                                         const std::vector<std::string>& flags) {
    const auto listed = [](const std::vector<std::string>& list, const std::string& name) {
        for (const auto& entry : list) {
            if (entry == name) return true;
        }
        return false;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (listed(flags, arguments[i])) {
            values[arguments[i]] = "";
            continue;
        }
        const std::string shown = host::system_text_to_utf8(arguments[i]);
        if (!listed(names, arguments[i])) return "unknown argument " + shown;
        if (i + 1 == arguments.size()) return shown + " needs a value";
        values[arguments[i]] = arguments[i + 1];
        ++i;
    }
    return std::nullopt;
}

}  // namespace tessary::cli
