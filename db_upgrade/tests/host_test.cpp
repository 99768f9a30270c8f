// The host layer on every system: the machine's directories and paths, files under GBK
// names, and the GBK conversions.
#include "host/host.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace tessary::host {
namespace {

TEST(Conversion, GbkAndUtf8BothWays) {
    const std::string gbk = "\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd\xca\xfd\xbe\xdd\xbf\xe2 (x)";
    const std::string utf8 = u8"不能连接到数据库 (x)";
    EXPECT_EQ(gbk_to_utf8(gbk), utf8);
    EXPECT_EQ(utf8_to_gbk(utf8), gbk);
    EXPECT_EQ(gbk_to_utf8(""), "");
}

TEST(Conversion, BytesThatDoNotConvertBecomeQuestionMarks) {
    EXPECT_EQ(gbk_to_utf8("a\xff"
                          "b"),
              "a?b");
    EXPECT_EQ(gbk_to_utf8("ab\xb2"), "ab?");
    EXPECT_EQ(utf8_to_gbk("a\xe2\x82\xac"
                          "b"),
              "a\x80"
              "b");                                     // the euro sign is 0x80 in GBK
    EXPECT_EQ(utf8_to_gbk("\xf0\x9f\x98\x80!"), "?!");  // no GBK for an emoji
}

// The core adds one separator to it for the folder of db.dat and the run log.
TEST(Directories, TheCurrentDirectoryHasNoTrailingSeparator) {
    HostSystem system;
    const std::string directory = system.current_directory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), system.path_separator());
}

TEST(Directories, JoiningPutsExactlyOneSeparatorBetween) {
    const HostSystem system;
#ifdef _WIN32
    EXPECT_EQ(system.path_separator(), '\\');
    EXPECT_EQ(system.join("C:\\korvane", "32k"), "C:\\korvane\\32k");
    EXPECT_EQ(system.join("C:\\korvane\\", "32k"), "C:\\korvane\\32k");
    EXPECT_EQ(system.join("C:/korvane/", "32k"), "C:/korvane/32k");
#else
    EXPECT_EQ(system.path_separator(), '/');
    EXPECT_EQ(system.join("/opt/korvane", "32k"), "/opt/korvane/32k");
    EXPECT_EQ(system.join("/opt/korvane/", "32k"), "/opt/korvane/32k");
    EXPECT_EQ(system.join("/opt\\korvane", ""), "/opt\\korvane/");
#endif
    EXPECT_EQ(system.join("", "db.dat"), "db.dat");
}

// The store machines name folders and files in GBK: the names reach the system and come
// back as the same bytes, whatever the C++ library makes of narrow text.
TEST(Directories, GbkNamesOfFoldersFilesAndTheCurrentDirectoryKeepTheirBytes) {
    testing::TempDir dir;
    HostSystem system;
    const std::string folder = system.join(narrow_path(dir.path()), "\xc3\xc5\xb5\xea");  // 门店
    const std::string script = "\xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc.sql";  // 存储过程.sql
    const std::string path = system.join(folder, script);
    ASSERT_TRUE(std::filesystem::create_directory(file_system_path(folder)));
    EXPECT_TRUE(system.exists(folder));
    EXPECT_FALSE(system.exists(path));

    for (const char* content : {"old", "new"}) {
        const auto file = system.replace_file(path);
        EXPECT_TRUE(file->write(content));
        EXPECT_TRUE(file->finish()) << file->error();
    }
    const auto appended = system.append_to_file(path);
    EXPECT_TRUE(appended->write("er"));
    EXPECT_TRUE(appended->finish()) << appended->error();
    EXPECT_TRUE(system.exists(path));
    const auto read = system.read_file(path);
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(*read, "newer");
    const auto listed = system.plain_files(folder);
    ASSERT_TRUE(listed) << listed.error;
    EXPECT_EQ(*listed, std::vector<std::string>{script});

    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(file_system_path(folder));
    const std::string current = system.current_directory();
    std::filesystem::current_path(before);
    EXPECT_EQ(current, folder);
}

TEST(Files, AnAppendedFileGrowsWriteByWriteAndAMissingFolderIsReported) {
    testing::TempDir dir;
    HostSystem system;
    for (const char* line : {"one\n", "two\n"}) {
        const auto log = system.append_to_file(dir.file("run.log"));
        EXPECT_TRUE(log->write(line));
        // Each write is on disk before the file is finished.
        EXPECT_EQ(testing::file_bytes(dir.file("run.log")).back(), '\n');
        EXPECT_TRUE(log->finish());
    }
    EXPECT_EQ(testing::file_bytes(dir.file("run.log")), "one\ntwo\n");

    const auto nowhere = system.append_to_file(dir.file("missing/run.log"));
    EXPECT_FALSE(nowhere->write("x"));
    EXPECT_FALSE(nowhere->finish());
    EXPECT_EQ(nowhere->error().rfind(dir.file("missing/run.log") + ": ", 0), 0u);
}

}  // namespace
}  // namespace tessary::host
