// The registry of Windows as an installation leaves it: values imported from a REGEDIT4 file
// (ANSI text) with reg.exe, wine's or Windows' own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "host/host.h"
#include "temp_dir.h"

namespace tessary::host {
namespace {

constexpr char kKey[] = "SOFTWARE\\korvane-host-test";

// Imports `values` under kKey into one view of the registry ("/reg:32" or "/reg:64").
void import_values(const std::string& values, const char* view) {
    testing::TempDir dir;
    const std::string file = dir.file("values.reg");
    testing::put_file(
        file, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "]\r\n" + values);
    const std::string command = "reg.exe import \"" + file + "\" " + view + " >NUL 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// 64-bit Windows keeps a 64-bit view beside the 32-bit one (a 32-bit program reaches it
// through WOW64); 32-bit Windows has the one view, which both names open.
bool has_64_bit_view() {
#if defined(_WIN64)
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

// A value of type REG_EXPAND_SZ as REGEDIT4 writes it: its ANSI bytes, with the NUL.
std::string expandable(const std::string& text) {
    std::string data = "hex(2):";
    for (const char c : text + '\0') {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x,", static_cast<unsigned char>(c));
        data += byte;
    }
    data.pop_back();
    return data;
}

class WindowsRegistry : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
    }
    HostSystem system;
};

// The store software is a 32-bit program: its values are in the 32-bit view, and a 64-bit
// build of this program finds them there, not in the 64-bit view (where there is one).
TEST_F(WindowsRegistry, StringValuesOfThe32BitViewInTheirGbkBytes) {
    const std::string store = "\xc3\xc5\xb5\xea";  // 门店
    const std::string long_name(600, 'k');         // longer than a first read takes
    import_values("\"DATABASE\"=\"" + store + "\"\r\n\"SERVERNAME\"=\"dbhost\\\\SQL2008\"\r\n" +
                      "\"PATH\"=" + expandable("%SystemRoot%\\korvane") + "\r\n\"LONG\"=\"D:\\\\" +
                      long_name + "\"\r\n\"COUNT\"=dword:1\r\n",
                  "/reg:32");
    if (has_64_bit_view()) {
        import_values("\"DATABASE\"=\"other view\"\r\n\"ONLY64\"=\"x\"\r\n", "/reg:64");
    }

    EXPECT_EQ(system.registry_string(kKey, "DATABASE"), store);
    EXPECT_EQ(system.registry_string(kKey, "servername"), "dbhost\\SQL2008");
    char windows[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("SystemRoot", windows, MAX_PATH), 0u);
    EXPECT_EQ(system.registry_string(kKey, "PATH"), std::string(windows) + "\\korvane");
    EXPECT_EQ(system.registry_string(kKey, "LONG"), "D:\\" + long_name);
    EXPECT_EQ(system.registry_string(kKey, "COUNT"), std::nullopt);  // not a string
    EXPECT_EQ(system.registry_string(kKey, "ONLY64"), std::nullopt);
    EXPECT_EQ(system.registry_string(kKey, "MISSING"), std::nullopt);
    EXPECT_EQ(system.registry_string("SOFTWARE\\korvane-missing", "DATABASE"), std::nullopt);
}

}  // namespace
}  // namespace tessary::host
