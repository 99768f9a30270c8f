#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/system.h"

// What the command-line twin and the Qt window share that touches the operating system.
// One implementation per system, posix.cpp and win32.cpp; what is alike on both (paths,
// files, the clock) is in common.cpp. Texts are GBK unless named UTF-8.

namespace tessary::host {

// The machine the program runs on. On POSIX systems the registry is a text file, see
// registry_file.h. Tests derive from it to set the registry and the working directory.
class HostSystem : public System {
  public:
    std::optional<std::string> registry_string(const std::string& key,
                                               const std::string& value) override;
#ifndef _WIN32
    std::string registry_problem() override;
#endif
    std::string current_directory() override;
    std::string maintainers_script_folder() override;
    char path_separator() const override;
    std::string join(const std::string& folder, const std::string& name) const override;

    Result<std::vector<std::string>> plain_files(const std::string& folder) override;
    bool exists(const std::string& path) override;
    Result<std::string> read_file(const std::string& path) override;
    std::unique_ptr<FileReader> open_file(const std::string& path) override;
    std::unique_ptr<FileWriter> replace_file(const std::string& path) override;
    std::optional<std::string> too_long_to_replace(const std::string& path) override;
    std::unique_ptr<FileWriter> append_to_file(const std::string& path) override;

    LocalTime local_time() override;
};

// A path in the system's narrow text (GBK on the store machines), as the C++ library's file
// system takes it, and back.
std::filesystem::path file_system_path(const std::string& path);
std::string narrow_path(const std::filesystem::path& path);

// GBK <-> UTF-8. Bytes that do not convert become '?'.
std::string gbk_to_utf8(std::string_view gbk);
std::string utf8_to_gbk(std::string_view utf8);

#ifdef _WIN32
// GBK as UTF-16, for the W functions of Windows, whatever the system's code page is. Bytes
// that do not convert become '?'.
std::wstring gbk_to_utf16(std::string_view gbk);
#endif

// A text of the system's own narrow encoding (a file name, an argument, a system message) as
// UTF-8: on Windows it is in the ANSI code page; on POSIX it is taken as it is.
std::string system_text_to_utf8(std::string_view text);

// What the command-line twin writes is UTF-8. A Windows console is handed it as Unicode
// (WriteConsoleW), whatever its code page; a file or a pipe gets its bytes as they are, line
// ends too. A no-op on POSIX.
void use_utf8_console();

// Whether standard error is a terminal (the command-line twin beeps only there).
bool stderr_is_terminal();

}  // namespace tessary::host
