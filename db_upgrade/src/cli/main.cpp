#include <cstring>
#include <exception>
#include <iostream>

#include "commands.h"
#include "host/host.h"

namespace tessary::cli {
namespace {

struct Command {
    const char* name;
    const char* synopsis;
    const char* summary;  // one line
    const char* details;  // the options and what the command prints
    int (*run)(const Arguments&);
};

const Command kCommands[] = {
    {"script", "script [--from DATE] [--scripts DIR] [--package FILE]",
     "print the statements an upgrade of a database at DATE sends",
     "Prints, without a database, the statements an upgrade sends to a database whose\n"
     "recorded upgrade date is DATE (default 00000000), in the order sent, each followed by a\n"
     "line GO, in UTF-8.\n"
     "  --from DATE      the recorded upgrade date\n"
     "  --scripts DIR    the procedure scripts of the rebuild (PATH\\32k\\ in a real run)\n"
     "  --package FILE   the script package the run applies after the batches\n",
     script_command},
    {"upgrade", "upgrade [--connection STRING] [--json]",
     "upgrade the store database of the registry, and the second one",
     "Runs the upgrade button's run: connects with the registry's values, takes the run\n"
     "lock, upgrades the store database and then sorvanth when the server holds it, and\n"
     "writes the run log in the working directory, beside db.dat. Messages and progress\n"
     "lines go to stderr.\n"
     "  --connection STRING   the whole ODBC connection string instead of the registry's\n"
     "                        server (of the registry only DATABASE is then needed)\n"
     "  --json                one JSON object on stdout at the end, for fleet collection\n",
     upgrade_command},
    {"status", "status [--connection STRING] [--json]",
     "show what an upgrade would do, changing nothing",
     "Connects as the upgrade does and shows, for the store database and sorvanth, the\n"
     "recorded upgrade date and version, the batches still due, the procedure scripts and\n"
     "the script package db.dat of the working directory, and what an upgrade would do.\n"
     "Sends selects and use alone.\n"
     "  --connection STRING   the whole ODBC connection string instead of the registry's\n"
     "                        server (of the registry only DATABASE is then needed)\n"
     "  --json                one JSON object on stdout; the text goes to stderr\n",
     status_command},
    {"pack", "pack DIR [-o FILE]", "build the script package (default ./db.dat) from DIR/*.sql",
     "Builds a script package from every *.sql file of DIR and prints the scripts in package\n"
     "order. Warns about a script whose text does not split into its drop statement and its\n"
     "creation statement (CR LF line ends, a line GO between them), which list marks error.\n"
     "Refuses a script whose name Windows cannot hold as a file name.\n"
     "  -o FILE   the package to write (default ./db.dat)\n",
     pack_command},
    {"unpack", "unpack FILE DIR", "write every script of a package back to DIR",
     "Writes every script of the package FILE to DIR, byte for byte as it was packed.\n"
     "Refuses, writing nothing, a package with a name Windows cannot hold as a file name.\n",
     unpack_command},
    {"list", "list FILE", "show the scripts of a package and what an upgrade does with them",
     "One line per script of the package FILE: whether the upgrade applies it, whether its\n"
     "text splits into a drop and a creation statement, its size and its name.\n",
     list_command},
};

const char* const kExitCodes =
    "exit codes:\n"
    "  0   done; status: every database is up to date\n"
    "  1   no connection to the store database, the connection was lost during the run, a\n"
    "      database records an upgrade date this program does not know, or the command could\n"
    "      not do its work\n"
    "  2   usage error\n"
    "  3   upgrade: statements failed with unexpected errors (the run went on; see the\n"
    "      lines 未预期的错误 and the run log)\n"
    "  4   upgrade: the script package db.dat was not applied to its end\n"
    "  5   upgrade: another upgrade runs against the server; nothing was sent\n"
    "  10  status: an upgrade is due\n";

void print_usage(std::ostream& out) {
    out << "usage: tessary-cli COMMAND [OPTIONS]\n";
    for (const Command& command : kCommands) {
        out << "  tessary-cli " << command.synopsis << "\n      " << command.summary << '\n';
    }
    out << "  tessary-cli help [COMMAND], --help, -h\n      show this text, or a command's\n"
        << "  tessary-cli --version\n      show the program's version\n"
        << kExitCodes;
}

void print_command_help(std::ostream& out, const Command& command) {
    out << "usage: tessary-cli " << command.synopsis << "\n\n"
        << command.details << '\n'
        << kExitCodes;
}

const Command* find_command(const char* name) {
    for (const Command& command : kCommands) {
        if (std::strcmp(name, command.name) == 0) return &command;
    }
    return nullptr;
}

bool asks_for_help(const std::string& argument) {
    return argument == "--help" || argument == "-h";
}

}  // namespace

}  // namespace tessary::cli

int main(int argc, char** argv) {
    using namespace tessary::cli;
    tessary::host::use_utf8_console();
    if (argc < 2) {
        print_usage(std::cerr);
        return kUsageError;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tessary-cli " << KORVANE_VERSION << std::endl;
        return kSuccess;
    }
    if (asks_for_help(argv[1]) || (argc == 2 && std::strcmp(argv[1], "help") == 0)) {
        print_usage(std::cout);
        return kSuccess;
    }
    if (std::strcmp(argv[1], "help") == 0) {
        const Command* command = argc == 3 ? find_command(argv[2]) : nullptr;
        if (command == nullptr) {
            fail(std::string("help takes the name of one command"), kUsageError);
            print_usage(std::cerr);
            return kUsageError;
        }
        print_command_help(std::cout, *command);
        return kSuccess;
    }
    const Command* command = find_command(argv[1]);
    if (command == nullptr) {
        fail("unknown command " + tessary::host::system_text_to_utf8(argv[1]), kUsageError);
        print_usage(std::cerr);
        return kUsageError;
    }
    const Arguments arguments(argv + 2, argv + argc);
    if (arguments.size() == 1 && asks_for_help(arguments[0])) {
        print_command_help(std::cout, *command);
        return kSuccess;
    }
    int exit_code = kFailure;
    try {
        exit_code = command->run(arguments);
    } catch (const std::exception& failure) {
        // What no command expects (memory exhausted, a script too large to hold) still ends
        // with its reason and the exit code of work not done.
        return fail(tessary::host::gbk_to_utf8(failure.what()));
    }
    if (exit_code == kUsageError) {
        std::cerr << "usage: tessary-cli " << command->synopsis << "\n(tessary-cli help "
                  << command->name << " tells more)" << std::endl;
    }
    return exit_code;
}
