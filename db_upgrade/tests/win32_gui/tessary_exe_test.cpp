// tessary.exe as a person runs it: the registry values set, the window driven by messages
// from this process, its real message boxes read and answered here. A whole upgrade of two
// databases of the SQL Server stand-in through odbc32 and FreeTDS's driver, with the window
// held busy on a statement for a while; then exit, which must end the process promptly.
// windows_window_test.sh starts the stand-in and names it in the environment.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/win32/w_db_upgrade.h"
#include "odbc/odbc_transaction.h"
#include "temp_dir.h"

namespace tessary::testing {
namespace {

using Shown = std::pair<std::wstring, std::wstring>;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

std::wstring wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring text_of(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

struct Search {
    DWORD process;
    const wchar_t* window_class;
    HWND found;
};

// Stops at a visible top-level window of the search's process and class. A Windows callback:
// on 32-bit Windows it must use the system's calling convention, which a lambda does not.
BOOL CALLBACK stop_at_match(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (owner != search.process || !IsWindowVisible(window) ||
        lstrcmpW(name, search.window_class) != 0) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

// A visible top-level window of `process` of the class named.
HWND window_of(DWORD process, const wchar_t* window_class) {
    Search search{process, window_class, nullptr};
    EnumWindows(stop_at_match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string stand_in_log() {
    std::ifstream in(environment("TESSARY_STAND_IN_LOG"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits up to `seconds` for `done`, doing `meanwhile` every 100 ms.
template <typename Done, typename Meanwhile>
bool within(int seconds, Done done, Meanwhile meanwhile) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (done()) return true;
        meanwhile();
        Sleep(100);
    }
    return done();
}

// The store software's key, in the 32-bit view where it keeps its values.
constexpr const wchar_t* kStoreKey = L"SOFTWARE\\korvane";

void set_registry(const std::wstring& name, const std::wstring& value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                    nullptr, &key, nullptr);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// Removes the key however the test ends.
struct StoreKeyRemover {
    ~StoreKeyRemover() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kStoreKey, KEY_WOW64_32KEY, 0); }
};

std::optional<std::string> upgrade_date(const std::string& port, const std::string& database) {
    odbc::OdbcTransaction sqlca("DRIVER=FreeTDS;Server=127.0.0.1;Port=" + port + ";Database=" +
                                database + ";UID=korvane;PWD=tqzvbno;ClientCharset=GBK;");
    sqlca.connect();
    std::optional<std::string> date;
    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'",
                      date);
    sqlca.disconnect();
    return date;
}

TEST(TessaryExe, UpgradesTwoDatabasesStaysResponsiveAndEndsPromptlyOnExit) {
    const std::string port = environment("TESSARY_STAND_IN_PORT");
    const std::string hold = environment("TESSARY_STAND_IN_HOLD");
    if (port.empty() || hold.empty()) GTEST_SKIP() << "run by windows_window_test.sh";

    // The program lies in a folder of its own and runs in another, as from the Start-menu
    // shortcut of the installed package; its run log goes to the working folder.
    TempDir dir;
    const std::filesystem::path program = dir.path() / "tessary.exe";
    const std::filesystem::path working = dir.path() / "work";
    std::filesystem::create_directory(working);
    ASSERT_TRUE(CopyFileW(wide(environment("TESSARY_EXE")).c_str(), program.c_str(), FALSE));
    StoreKeyRemover remover;
    set_registry(L"DATABASE", L"store");
    set_registry(L"SERVERNAME", L"127.0.0.1," + wide(port));
    SetEnvironmentVariableW(L"TESSARY_ODBC_DRIVER", L"FreeTDS");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring command = L"\"" + program.wstring() + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               working.c_str(), &startup, &started));

    HWND main = nullptr;
    ASSERT_TRUE(within(
        20,
        [&] { return (main = window_of(started.dwProcessId, L"tessary_w_db_upgrade")) != nullptr; },
        [] {}));
    const auto item = [main](const char* name) {
        return GetDlgItem(main, gui::win32::control_id(name));
    };
    EXPECT_EQ(text_of(main), L"烘焙连锁软件数据库升级");

    // Once connected (the connection's last statement, logged once it has passed the hold,
    // selects the store database again), every statement waits while the hold file exists.
    // A click while the window connects is passed over, so the test clicks until the run's
    // first statement is held.
    ASSERT_TRUE(within(
        20, [] { return stand_in_log().find("batch: use [store]") != std::string::npos; }, [] {}));
    std::ofstream(hold).put('\n');
    ASSERT_TRUE(within(
        20, [] { return stand_in_log().find("holding: ") != std::string::npos; },
        [&] { PostMessageW(item("cb_1"), BM_CLICK, 0, 0); }));

    // Held: the window answers at once and passes over another click.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &answer), 0);
    SendMessageW(item("cb_1"), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(item("cb_1")));
    std::filesystem::remove(hold);

    // The message boxes in order, each answered as a person would.
    std::vector<Shown> boxes;
    EXPECT_TRUE(within(
        60,
        [&] {
            return !IsWindowEnabled(item("cb_1")) &&
                   window_of(started.dwProcessId, L"#32770") == nullptr;
        },
        [&] {
            if (HWND box = window_of(started.dwProcessId, L"#32770")) {
                boxes.emplace_back(text_of(box), text_of(GetDlgItem(box, 0xFFFF)));
                SendMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }));
    const std::wstring incomplete = L"数据库升级程序不全，升级操作被中断。";
    EXPECT_EQ(boxes, (std::vector<Shown>{{L"凯岚商业管理软件", incomplete},
                                         {L"凯岚商业管理软件", incomplete}}));

    // The progress list, newest line on top: one run, ended with its count.
    HWND lb_2 = item("lb_2");
    std::vector<std::wstring> lines;
    for (LRESULT i = 0; i < SendMessageW(lb_2, LB_GETCOUNT, 0, 0); ++i) {
        std::wstring line(
            static_cast<std::size_t>(SendMessageW(lb_2, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) +
                1,
            L'\0');
        SendMessageW(lb_2, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(line.data()));
        lines.push_back(line.c_str());
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind(L"升级结束：发送语句", 0), 0u) << lines.size();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::wstring& line) { return line.rfind(L"升级结束", 0) == 0; }),
        1);

    // Exit: the process ends within 10 s.
    EXPECT_TRUE(within(
        10, [&] { return WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0; },
        [&] { PostMessageW(item("cb_2"), BM_CLICK, 0, 0); }));
    DWORD exit_code = 1;
    GetExitCodeProcess(started.hProcess, &exit_code);
    EXPECT_EQ(exit_code, 0u);
    if (exit_code == STILL_ACTIVE) TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    const auto run_logs = [](const std::filesystem::path& folder) {
        return std::count_if(std::filesystem::directory_iterator(folder),
                             std::filesystem::directory_iterator(), [](const auto& entry) {
                                 return entry.path().filename().wstring().rfind(L"tessary-upgrade-",
                                                                                0) == 0;
                             });
    };
    EXPECT_EQ(run_logs(working), 1);
    EXPECT_EQ(run_logs(dir.path()), 0);

    EXPECT_EQ(upgrade_date(port, "store"), std::string("20200117"));
    EXPECT_EQ(upgrade_date(port, "SorVanth"), std::string("20200117"));
}

}  // namespace
}  // namespace tessary::testing
