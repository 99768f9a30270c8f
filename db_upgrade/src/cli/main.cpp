#include <cstring>
#include <iostream>

#include "commands.h"
#include "host/host.h"

namespace tessary::cli {
namespace {

struct Command {
    const char* name;
    const char* synopsis;
    int (*run)(const Arguments&);
};

const Command kCommands[] = {
    {"script",
     "script [--from DATE] [--scripts DIR] [--package FILE]    print the statements an upgrade "
     "of a database at DATE sends",
     script_command},
    {"upgrade", "upgrade [--connection STRING]    upgrade the store database of the registry",
     upgrade_command},
    {"pack", "pack DIR [-o FILE]    build the script package (default ./db.dat) from DIR/*.sql",
     pack_command},
    {"unpack", "unpack FILE DIR    write every script of a package back to DIR", unpack_command},
    {"list", "list FILE    show the scripts of a package and what an upgrade does with them",
     list_command},
};

int usage() {
    std::cerr << "usage: tessary-cli COMMAND [OPTIONS]\n";
    for (const Command& command : kCommands)
        std::cerr << "  tessary-cli " << command.synopsis << '\n';
    return kUsageError;
}

}  // namespace

int fail(const std::string& reason, int code) {
    std::cerr << "tessary-cli: " << reason << std::endl;
    return code;
}

std::optional<std::string> parse_options(const Arguments& arguments,
                                         const std::vector<std::string>& names,
                                         std::map<std::string, std::string>& values) {
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        bool known = false;
        for (const auto& name : names) known = known || arguments[i] == name;
        if (!known) return "unknown argument " + arguments[i];
        if (i + 1 == arguments.size()) return arguments[i] + " needs a value";
        values[arguments[i]] = arguments[i + 1];
    }
    return std::nullopt;
}

}  // namespace tessary::cli

int main(int argc, char** argv) {
    using namespace tessary::cli;
    tessary::host::use_utf8_console();
    if (argc < 2) return usage();
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(Arguments(argv + 2, argv + argc));
        }
    }
    fail(std::string("unknown command ") + argv[1], kUsageError);
    return usage();
}
