// The box service's registry value "Path" as the tests set it: in the registry itself on
// Windows (64-bit view, where the library looks), in the registry file on POSIX.
#pragma once

#include <gtest/gtest.h>

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

// A test with a box service's folder of its own, where the journal, the daily log and the
// request ids' file go (under "log").
class TillFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        set_environment("KORVANE_REGISTRY_FILE", registry_);
        set_box_service_path(folder_.path().string(), registry_);
    }
    void TearDown() override {
        set_box_service_path(std::nullopt, registry_);
        unset_environment("KORVANE_REGISTRY_FILE");
    }
    std::string log_file(std::string_view name) const {
        return (folder_.path() / "log" / name).string();
    }

    TempDir folder_;
    const std::string registry_ = folder_.file("registry.ini");
};

}  // namespace test_support
