#include "log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "debugger_output.h"
#include "gbk_characters.h"
#include "platform/platform.h"
#include "registry_support.h"
#include "test_support.h"

using namespace vortal;
using test_support::log_messages;
using test_support::read_file;
using test_support::set_environment;
using test_support::TempDir;
using test_support::unset_environment;
using test_support::write_file;

namespace {

// The names the day's log file may have: the date before and after the entry was written.
std::vector<std::string> todays_file_names(const std::function<void()>& write) {
    auto name = [] {
        const std::tm parts = test_support::local_time(std::time(nullptr));
        char text[32];
        std::snprintf(text, sizeof text, "%d-%02d-%02d.log", parts.tm_year + 1900, parts.tm_mon + 1,
                      parts.tm_mday);
        return std::string(text);
    };
    const std::string before = name();
    write();
    return {before, name()};
}

class LogTest : public testing::Test {
  protected:
    void SetUp() override { set_environment("KORVANE_REGISTRY_FILE", registry_); }
    void TearDown() override {
        unset_environment("KORVANE_REGISTRY_FILE");
        set_box_folder(std::nullopt);
    }

    // The box service's folder in the registry; nothing removes the key.
    void set_box_folder(const std::optional<std::string>& folder) {
        test_support::set_box_service_path(folder, registry_);
    }

    // Runs a copy of the probe program from folder, so that the folder is the host's.
    int run_probe(const std::filesystem::path& folder, const std::string& message) const {
        std::filesystem::create_directories(folder);
        const std::filesystem::path probe =
            folder /
            ("host-program" + std::filesystem::path(VORTAL_LOG_PROBE_PATH).extension().string());
        std::filesystem::copy_file(VORTAL_LOG_PROBE_PATH, probe);
        return test_support::run_program(probe.string(), {message});
    }

    TempDir dir_;
    std::string registry_ = dir_.file("registry.ini");
};

}  // namespace

TEST_F(LogTest, EntriesGoInOrderToTheDatedFileUnderTheBoxServiceFolder) {
    set_box_folder((dir_.path() / "varnix" / "box").string());
    const std::string long_message(300, 'm');
    const std::vector<std::string> names = todays_file_names([&] {
        write_log("[NET]:first %d\n", 1);
        write_log("[NET]:%s\n", long_message.c_str());
        write_log("[NET]:组建二维码地址为%s:\n", "http://qr");
    });
    const std::filesystem::path folder = dir_.path() / "varnix" / "box" / "log";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << "created with its missing parents";
    std::string log = read_file((folder / names[0]).string());
    if (log.empty() && names[1] != names[0]) log = read_file((folder / names[1]).string());

    EXPECT_EQ(log_messages(log), (std::vector<std::string>{"[NET]:first 1", "[NET]:" + long_message,
                                                           "[NET]:组建二维码地址为http://qr:"}));
    // 组建二维码地址为 in GBK, after the time stamp; each line ends in CR LF.
    EXPECT_NE(log.find("[NET]:\xd7\xe9\xbd\xa8\xb6\xfe\xce\xac\xc2\xeb\xb5\xd8\xd6\xb7\xce\xaa"
                       "http://qr:\r\n"),
              std::string::npos);
}

#if !defined(_WIN32)
// The registry file's own rules; the registry itself has them on Windows.
TEST(RegistryFile, KeyPathsAndNamesMatchIgnoringAsciiCaseAndBlanks) {
    TempDir dir;
    const std::string file = dir.file("registry.ini");
    write_file(file,
               "; the box service\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\nPath=/elsewhere\r\n"
               "[hkey_local_machine\\software\\VARNIX]\r\n  path = /opt/varnix \r\n");
    set_environment("KORVANE_REGISTRY_FILE", file);
    char folder[kPathSize];
    EXPECT_TRUE(box_service_folder(folder));
    unset_environment("KORVANE_REGISTRY_FILE");
    EXPECT_STREQ(folder, "/opt/varnix");
}
#endif

TEST_F(LogTest, EntriesOfConcurrentThreadsStayWhole) {
    set_box_folder(dir_.path().string());
    constexpr int kThreads = 6;
    constexpr int kEntriesEach = 40;
    std::vector<std::string> names;
    names = todays_file_names([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                const std::string line(2000, static_cast<char>('a' + t));
                for (int i = 0; i < kEntriesEach; ++i) write_log("%s\n", line.c_str());
            });
        }
        for (std::thread& thread : threads) thread.join();
    });
    std::string log = read_file((dir_.path() / "log" / names[0]).string());
    if (names[1] != names[0]) log += read_file((dir_.path() / "log" / names[1]).string());
    const std::vector<std::string> messages = log_messages(log);
    ASSERT_EQ(messages.size(), std::size_t{kThreads * kEntriesEach});
    for (const std::string& message : messages) {
        EXPECT_EQ(message, std::string(2000, message.front())) << "an entry was split";
    }
}

TEST_F(LogTest, AnEntryWhosePathWouldNotFitIsDropped) {
    const std::filesystem::path deep = dir_.path() / std::string(240, 'd');
    set_box_folder(deep.string());
    write_log("[NET]:lost\n");
    EXPECT_FALSE(std::filesystem::exists(deep))
        << "nothing is created for an entry that is dropped";
}

TEST_F(LogTest, WithoutAUsableRegistryValueTheLogLiesBesideTheHostProgram) {
    struct Case {
        std::string name;
        std::optional<std::string> path;  // none: no such key at all
    };
    const std::vector<Case> cases = {
        {"no-key", std::nullopt},
        {"empty-value", ""},
        {"too-long-value", (dir_.path() / std::string(260, 'p')).string()},
    };
    for (const Case& c : cases) {
        set_box_folder(c.path);
        const std::filesystem::path host = dir_.path() / c.name / "bin";
        std::vector<std::string> names;
        names = todays_file_names([&] { ASSERT_EQ(run_probe(host, "[NET]:" + c.name), 0); });
        std::string log = read_file((host / "log" / names[0]).string());
        if (log.empty()) log = read_file((host / "log" / names[1]).string());
        EXPECT_EQ(log_messages(log), std::vector<std::string>{"[NET]:" + c.name}) << c.name;
    }
}

// A folder named with 淺 (9C 5C) is one folder: the log folder under the registry's Path, or
// beside a host program, is made without one named by the text before the "\" byte.
TEST_F(LogTest, FolderNamesOfGbkCharactersAreWalkedByCharacter) {
    const std::string base = dir_.path().string() + platform::kPathSeparator;
    for (const std::string character : test_support::kTrailByteCharacters) {
        const std::string box = base + "收銀" + character + platform::kPathSeparator + "varnix";
        set_box_folder(box);
        write_log("[NET]:box\n");
        make_directories(base + "門店" + character + "表" + platform::kPathSeparator + "log");
        EXPECT_TRUE(platform::is_directory((box + platform::kPathSeparator + "log").c_str()));
        for (const char* name : {"收銀", "門店"})
            EXPECT_FALSE(platform::is_directory((base + name + character[0]).c_str()));
    }
}

TEST(DebugTrace, LongTextsAreOutputWholeUpToTheLimit) {
    const std::string text_600(600, 'x');
    const std::string text_limit(65535, 'y');
    const std::string text_over(65536, 'z');
    test_support::DebuggerOutput debug;
    debug_trace("%s", text_600.c_str());
    debug_trace("%s", text_limit.c_str());
    debug_trace("%s", text_over.c_str());
    debug_trace("[DLL]:Qr Encode %s\n", "abc");
    EXPECT_EQ(debug.take(), text_600 + text_limit + "[DLL]:Qr Encode abc\n");
}
