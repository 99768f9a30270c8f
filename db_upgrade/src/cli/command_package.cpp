#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <vector>

#include "commands.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/package.h"
#include "core/text.h"
#include "host/host.h"

namespace tessary::cli {
namespace {

// A package opened and taken apart as the applier would, a piece at a time; a package that
// does not read to its end is refused with the applier's message.
struct OpenedPackage {
    std::unique_ptr<FileReader> file;
    package::Plan plan;
};

std::optional<OpenedPackage> read_package(System& system, const std::string& path, int& exit_code) {
    OpenedPackage opened{system.open_file(path), {}};
    const auto cannot_read = [&](const std::string& reason) {
        exit_code = fail("cannot read " + host::system_text_to_utf8(path) + ": " + reason);
        return std::nullopt;
    };
    if (!opened.file->error().empty()) return cannot_read(opened.file->error());
    opened.plan = package::plan_package(*opened.file, kShippedClientInterface);
    if (opened.plan.unreadable) return cannot_read(opened.plan.error);
    if (!opened.plan.error.empty()) {
        exit_code =
            fail(host::system_text_to_utf8(path) + ": " + host::gbk_to_utf8(opened.plan.error));
        return std::nullopt;
    }
    return opened;
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
    for (const auto& name : outcome.wrong_shape) {
        std::cerr << "tessary-cli: warning: " << host::gbk_to_utf8(name)
                  << " does not split into a drop and a creation statement (CR LF line ends "
                     "and a line GO between them); list marks it error, and the upgrade "
                     "reports it and passes it over\n";
    }
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
    const auto package = read_package(system, arguments[0], exit_code);
    if (!package) return exit_code;

    // Every name is checked before anything is written; the package came from any system,
    // the files go where the stores can take them, and here.
    std::vector<std::string> names;
    for (const auto& entry : package->plan.scripts) {
        const std::string& name = entry.record.name;
        const std::string shown = host::gbk_to_utf8(text::one_line(name));
        if (auto fault = files::windows_name_problem(name)) {
            return fail("the package holds a script named \"" + shown +
                        "\", which is no file name (" + host::gbk_to_utf8(*fault) +
                        "); nothing written");
        }
        if (auto fault = system.too_long_to_replace(system.join(folder, name))) {
            return fail("the script " + shown + " cannot be written to " +
                        host::system_text_to_utf8(folder) + " (" + host::gbk_to_utf8(*fault) +
                        "); nothing written");
        }
        names.push_back(name);
    }
    if (auto same = files::same_file_on_windows(names)) {
        const std::string first = host::gbk_to_utf8(same->first);
        const std::string second = host::gbk_to_utf8(same->second);
        return fail(first == second
                        ? "the package holds the script " + first + " twice; nothing written"
                        : "the package holds the scripts " + first + " and " + second +
                              ", whose names differ in letter case alone: one file "
                              "on Windows; nothing written");
    }
    std::error_code error;
    std::filesystem::create_directories(host::file_system_path(folder), error);
    if (error)
        return fail("cannot create " + host::system_text_to_utf8(folder) + ": " +
                    host::system_text_to_utf8(error.message()));
    for (const auto& entry : package->plan.scripts) {
        package::RecordText text(*package->file, entry.record);
        const std::string reason =
            files::write_file(system, system.join(folder, entry.record.name), text);
        if (!reason.empty()) return fail(host::gbk_to_utf8(reason));
    }
    std::cout << package->plan.scripts.size() << " scripts written to "
              << host::system_text_to_utf8(folder) << std::endl;
    return std::cout ? kSuccess : fail("cannot write to standard output");
}

int list_command(const Arguments& arguments) {
    if (arguments.size() != 1) return fail("list needs FILE", kUsageError);
    host::HostSystem system;
    int exit_code = kSuccess;
    const auto package = read_package(system, arguments[0], exit_code);
    if (!package) return exit_code;

    // "applied": the engine filter of the shipped program takes the script; "syntax": its
    // text splits into a drop and a creation statement.
    std::cout << std::left << std::setw(8) << "applied" << std::setw(8) << "syntax" << std::right
              << std::setw(10) << "bytes"
              << "  name\n";
    for (const auto& entry : package->plan.scripts) {
        std::cout << std::left << std::setw(8) << (entry.engine_applies ? "yes" : "no")
                  << std::setw(8) << (entry.cut.splits() ? "ok" : "error") << std::right
                  << std::setw(10) << entry.record.size << "  "
                  << host::gbk_to_utf8(entry.record.name) << '\n';
    }
    std::cout << std::flush;
    return std::cout ? kSuccess : fail("cannot write to standard output");
}

}  // namespace tessary::cli
