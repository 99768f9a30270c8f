#include <filesystem>
#include <iomanip>
#include <iostream>
#include <set>

#include "commands.h"
#include "core/files.h"
#include "core/package.h"
#include "host/host.h"

namespace tessary::cli {
namespace {

// A record name that would write outside the target folder, or nowhere, if used as a file
// name there.
bool unsafe_file_name(const std::string& name) {
    return name.empty() || name == "." || name == ".." ||
           name.find_first_of(std::string("/\\:\0", 4)) != std::string::npos;
}

// Reads a package and takes it apart as the applier would; a package that does not read to
// its end is refused with the applier's message.
std::optional<package::Plan> read_package(System& system, const std::string& path, int& exit_code) {
    const auto bytes = system.read_file(path);
    if (!bytes) {
        exit_code = fail("cannot read " + host::system_text_to_utf8(path) + ": " + bytes.error);
        return std::nullopt;
    }
    package::Plan plan = package::plan_package(*bytes, kShippedClientInterface);
    if (!plan.error.empty()) {
        exit_code = fail(host::system_text_to_utf8(path) + ": " + host::gbk_to_utf8(plan.error));
        return std::nullopt;
    }
    return plan;
}

}  // namespace

int pack_command(const Arguments& arguments) {
    std::string folder;
    std::string output = package::kFileName;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "-o") {
            if (++i == arguments.size()) return fail("-o needs a value", kUsageError);
            output = arguments[i];
        } else if (folder.empty()) {
            folder = arguments[i];
        } else {
            return fail("unknown argument " + host::system_text_to_utf8(arguments[i]), kUsageError);
        }
    }
    if (folder.empty()) return fail("pack needs the script folder", kUsageError);

    host::HostSystem system;
    const package::PackOutcome outcome = package::pack_folder(system, folder, output);
    if (!outcome.error.empty()) return fail(host::gbk_to_utf8(outcome.error));
    for (const auto& name : outcome.scripts) std::cout << host::gbk_to_utf8(name) << '\n';
    std::cout << outcome.scripts.size() << " scripts packed into "
              << host::system_text_to_utf8(output) << std::endl;
    return std::cout ? kSuccess : fail("cannot write to standard output");
}

int unpack_command(const Arguments& arguments) {
    if (arguments.size() != 2) return fail("unpack needs FILE and DIR", kUsageError);
    const std::string& folder = arguments[1];
    host::HostSystem system;
    int exit_code = kSuccess;
    const auto plan = read_package(system, arguments[0], exit_code);
    if (!plan) return exit_code;

    std::set<std::string> names;
    for (const auto& entry : plan->scripts) {
        const std::string shown = host::gbk_to_utf8(entry.name);
        if (unsafe_file_name(entry.name)) {
            return fail("the package holds a script named \"" + shown +
                        "\", which is no file name; nothing written");
        }
        if (!names.insert(entry.name).second) {
            return fail("the package holds the script " + shown + " twice; nothing written");
        }
    }
    std::error_code error;
    std::filesystem::create_directories(host::file_system_path(folder), error);
    if (error)
        return fail("cannot create " + host::system_text_to_utf8(folder) + ": " +
                    host::system_text_to_utf8(error.message()));
    for (const auto& entry : plan->scripts) {
        const std::string reason =
            files::write_file(system, system.join(folder, entry.name), entry.text);
        if (!reason.empty()) return fail(host::gbk_to_utf8(reason));
    }
    std::cout << plan->scripts.size() << " scripts written to " << host::system_text_to_utf8(folder)
              << std::endl;
    return std::cout ? kSuccess : fail("cannot write to standard output");
}

int list_command(const Arguments& arguments) {
    if (arguments.size() != 1) return fail("list needs FILE", kUsageError);
    host::HostSystem system;
    int exit_code = kSuccess;
    const auto plan = read_package(system, arguments[0], exit_code);
    if (!plan) return exit_code;

    // "applied": the engine filter of the shipped program takes the script; "syntax": its
    // text splits into a drop and a creation statement.
    std::cout << std::left << std::setw(8) << "applied" << std::setw(8) << "syntax" << std::right
              << std::setw(10) << "bytes"
              << "  name\n";
    for (const auto& entry : plan->scripts) {
        std::cout << std::left << std::setw(8) << (entry.engine_applies ? "yes" : "no")
                  << std::setw(8) << (entry.syntax_ok ? "ok" : "error") << std::right
                  << std::setw(10) << entry.text.size() << "  " << host::gbk_to_utf8(entry.name)
                  << '\n';
    }
    std::cout << std::flush;
    return std::cout ? kSuccess : fail("cannot write to standard output");
}

}  // namespace tessary::cli
