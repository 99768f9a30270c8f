#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the command-line twin and the Qt window share that touches the operating system.
// One implementation per system: posix.cpp, win32.cpp. Texts are GBK unless named UTF-8.

namespace tessary::host {

// A string value of a key under HKEY_LOCAL_MACHINE (`key` without the hive, e.g.
// "SOFTWARE\\korvane"); nullopt when the key or the value is missing. On POSIX systems
// the registry is a text file, see registry_file.h.
std::optional<std::string> registry_string(const std::string& key, const std::string& value);

// The process's current directory, and the directory of the running program, both without
// a trailing separator.
std::string current_directory();
std::string program_directory();

// GBK <-> UTF-8. Bytes that do not convert become '?'.
std::string gbk_to_utf8(std::string_view gbk);
std::string utf8_to_gbk(std::string_view utf8);

// Lets the console show the UTF-8 that the command-line twin writes (a no-op on POSIX).
void use_utf8_console();

// Whether standard error is a terminal (the command-line twin beeps only there).
bool stderr_is_terminal();

}  // namespace tessary::host
