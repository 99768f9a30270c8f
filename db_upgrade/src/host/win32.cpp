#include <io.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "host.h"

namespace tessary::host {
namespace {

constexpr UINT kGbkCodePage = 936;

// Through UTF-16, as Windows converts between code pages. Bytes that do not convert
// become '?' (the system's default character).
std::string convert(std::string_view text, UINT from, UINT to) {
    if (text.empty()) return {};
    const int source_length = static_cast<int>(text.size());
    const int wide_length = MultiByteToWideChar(from, 0, text.data(), source_length, nullptr, 0);
    if (wide_length <= 0) return std::string(text);
    std::vector<wchar_t> wide(static_cast<std::size_t>(wide_length));
    MultiByteToWideChar(from, 0, text.data(), source_length, wide.data(), wide_length);
    const int length =
        WideCharToMultiByte(to, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string(text);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wide_length, out.data(), length, nullptr, nullptr);
    return out;
}

std::string without_last_component(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(0, separator);
}

}  // namespace

std::optional<std::string> HostSystem::registry_string(const std::string& key,
                                                       const std::string& value) {
    // The store software is a 32-bit program and keeps its values in the 32-bit view of
    // the registry; a 64-bit build of this program reads the same view.
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    DWORD size = 0;
    const DWORD types = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ;
    if (RegGetValueA(opened, nullptr, value.c_str(), types, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        std::vector<char> data(size + 1, '\0');
        if (RegGetValueA(opened, nullptr, value.c_str(), types, nullptr, data.data(), &size) ==
            ERROR_SUCCESS) {
            result = std::string(data.data());
        }
    }
    RegCloseKey(opened);
    return result;
}

std::string HostSystem::current_directory() {
    const DWORD length = GetCurrentDirectoryA(0, nullptr);
    if (length == 0) return {};
    std::string path(length, '\0');
    const DWORD written = GetCurrentDirectoryA(length, path.data());
    path.resize(written);
    return path;
}

std::string HostSystem::program_directory() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return current_directory();
        if (length < path.size()) return without_last_component(std::string(path.data(), length));
        path.resize(path.size() * 2);
    }
}

std::string HostSystem::maintainers_script_folder() {
    return "e:\\G\\korvane\\sql\\pr_tr\\";
}

std::string gbk_to_utf8(std::string_view gbk) {
    return convert(gbk, kGbkCodePage, CP_UTF8);
}
std::string utf8_to_gbk(std::string_view utf8) {
    return convert(utf8, CP_UTF8, kGbkCodePage);
}

void use_utf8_console() {
    SetConsoleOutputCP(CP_UTF8);
}

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace tessary::host
