#include "log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using namespace vortal;
using test_support::log_messages;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

namespace {

// The names the day's log file may have: the date before and after the entry was written.
std::vector<std::string> todays_file_names(const std::function<void()>& write) {
    auto name = [] {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
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
    void SetUp() override { setenv("KORVANE_REGISTRY_FILE", registry_.c_str(), 1); }
    void TearDown() override { unsetenv("KORVANE_REGISTRY_FILE"); }

    void set_box_folder(const std::string& section, const std::string& entry) {
        write_file(
            registry_,
            "; the box service\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\nPath=/elsewhere\r\n"
            "[" +
                section + "]\r\n" + entry + "\r\n");
    }

    // Runs a copy of the probe program from folder, so that the folder is the host's.
    int run_probe(const std::filesystem::path& folder, const std::string& message) const {
        std::filesystem::create_directories(folder);
        const std::filesystem::path probe = folder / "host-program";
        std::filesystem::copy_file(VORTAL_LOG_PROBE_PATH, probe);
        const std::string command = "'" + probe.string() + "' '" + message + "'";
        return std::system(command.c_str());
    }

    TempDir dir_;
    std::string registry_ = dir_.file("registry.ini");
};

}  // namespace

TEST_F(LogTest, EntriesGoInOrderToTheDatedFileUnderTheBoxServiceFolder) {
    set_box_folder("hkey_local_machine\\software\\VARNIX", "  path = " + dir_.file("varnix/box"));
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

TEST_F(LogTest, EntriesOfConcurrentThreadsStayWhole) {
    set_box_folder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix", "Path=" + dir_.path().string());
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
    set_box_folder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix", "Path=" + deep.string());
    write_log("[NET]:lost\n");
    EXPECT_FALSE(std::filesystem::exists(deep))
        << "nothing is created for an entry that is dropped";
}

TEST_F(LogTest, WithoutAUsableRegistryValueTheLogLiesBesideTheHostProgram) {
    struct Case {
        std::string name;
        std::string entry;  // under the box service's key; empty: no such key at all
    };
    const std::vector<Case> cases = {
        {"no-key", ""},
        {"empty-value", "Path="},
        {"too-long-value", "Path=/" + std::string(260, 'p')},
    };
    for (const Case& c : cases) {
        if (c.entry.empty()) {
            write_file(registry_, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\nPath=/elsewhere\r\n");
        } else {
            set_box_folder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix", c.entry);
        }
        const std::filesystem::path host = dir_.path() / c.name / "bin";
        std::vector<std::string> names;
        names = todays_file_names([&] { ASSERT_EQ(run_probe(host, "[NET]:" + c.name), 0); });
        std::string log = read_file((host / "log" / names[0]).string());
        if (log.empty()) log = read_file((host / "log" / names[1]).string());
        EXPECT_EQ(log_messages(log), std::vector<std::string>{"[NET]:" + c.name}) << c.name;
    }
}

TEST(DebugTrace, LongTextsAreOutputWholeUpToTheLimit) {
    setenv("VORTAL_DEBUG", "1", 1);
    const std::string text_600(600, 'x');
    const std::string text_limit(65535, 'y');
    const std::string text_over(65536, 'z');
    testing::internal::CaptureStderr();
    debug_trace("%s", text_600.c_str());
    debug_trace("%s", text_limit.c_str());
    debug_trace("%s", text_over.c_str());
    debug_trace("[DLL]:Qr Encode %s\n", "abc");
    const std::string output = testing::internal::GetCapturedStderr();
    unsetenv("VORTAL_DEBUG");
    EXPECT_EQ(output, text_600 + text_limit + "[DLL]:Qr Encode abc\n");
}
