// The box service's registry value "Path" as the tests set it: in the registry itself on
// Windows (64-bit view, where the library looks), in the registry file on POSIX.
#pragma once

#include <optional>
#include <string>

#include "test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace test_support {

inline constexpr char kBoxServiceKey[] = "SOFTWARE\\Varnix";

// Without a folder the key is missing; the registry file still names another key.
inline void set_box_service_path(const std::optional<std::string>& folder,
                                 [[maybe_unused]] const std::string& registry_file) {
#if defined(_WIN32)
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kBoxServiceKey, KEY_WOW64_64KEY, 0);
    if (!folder) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBoxServiceKey, 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                   static_cast<DWORD>(folder->size() + 1));
    RegCloseKey(key);
#else
    std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\nPath=/elsewhere\r\n";
    if (folder)
        text +=
            "[HKEY_LOCAL_MACHINE\\" + std::string(kBoxServiceKey) + "]\r\nPath=" + *folder + "\r\n";
    write_file(registry_file, text);
#endif
}

}  // namespace test_support
