// The host layer on POSIX: the registry file, the machine's directories and paths, and the
// GBK conversions.
#include "host/host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/registry_file.h"
#include "temp_dir.h"

namespace tessary::host {
namespace {

const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane";

std::optional<std::string> lookup(const std::string& file, const std::string& key,
                                  const std::string& name) {
    std::istringstream in(file);
    return find_registry_value(in, key, name);
}

TEST(RegistryFile, FindsValuesOfTheirOwnKeyWhateverTheCase) {
    const std::string file =
        "; the store software's values\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\other]\n"
        "DATABASE=wrong\n"
        "[hkey_local_machine\\software\\KORVANE]\r\n"
        "  database = store \r\n"
        "SERVERNAME=dbhost\\SQL2008\n"
        "# a comment = not a value\n"
        "PATH=\n"
        "DATABASE=second\n";
    EXPECT_EQ(lookup(file, kKey, "DATABASE"), "store");
    EXPECT_EQ(lookup(file, kKey, "ServerName"), "dbhost\\SQL2008");
    EXPECT_EQ(lookup(file, kKey, "PATH"), "");
    EXPECT_EQ(lookup(file, kKey, "MISSING"), std::nullopt);
    EXPECT_EQ(lookup(file, "HKEY_LOCAL_MACHINE\\SOFTWARE\\other", "DATABASE"), "wrong");
    EXPECT_EQ(lookup(file, "HKEY_LOCAL_MACHINE\\SOFTWARE", "DATABASE"), std::nullopt);
}

TEST(RegistryFile, ValuesAreHandedOnAsTheirBytes) {
    const std::string gbk_name = "\xc3\xc5\xb5\xea";  // a GBK database name
    EXPECT_EQ(lookup(std::string("[") + kKey + "]\nDATABASE=" + gbk_name + "\n", kKey, "DATABASE"),
              gbk_name);
}

TEST(RegistryFile, TheFileIsNamedByTheEnvironment) {
    testing::TempDir dir;
    const std::string path = dir.file("registry.ini");
    std::ofstream(path) << "[" << kKey << "]\nSERVERNAME=10.0.0.5,1433\n";
    HostSystem system;
    setenv(kRegistryFileVariable, path.c_str(), 1);
    EXPECT_EQ(system.registry_string("SOFTWARE\\korvane", "SERVERNAME"), "10.0.0.5,1433");
    EXPECT_EQ(system.registry_string("SOFTWARE\\korvane", "DATABASE"), std::nullopt);
    setenv(kRegistryFileVariable, dir.file("missing.ini").c_str(), 1);
    EXPECT_EQ(system.registry_string("SOFTWARE\\korvane", "SERVERNAME"), std::nullopt);
    unsetenv(kRegistryFileVariable);
}

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

TEST(Directories, TheProgramDirectoryHoldsTheRunningProgram) {
    HostSystem system;
    const std::string directory = system.program_directory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '/');
    EXPECT_TRUE(std::ifstream(system.join(directory, "tessary_system_tests")).good()) << directory;
    EXPECT_FALSE(system.current_directory().empty());
}

TEST(Directories, JoiningPutsExactlyOneSeparatorBetween) {
    const HostSystem system;
    EXPECT_EQ(system.path_separator(), '/');
    EXPECT_EQ(system.join("/opt/korvane", "32k"), "/opt/korvane/32k");
    EXPECT_EQ(system.join("/opt/korvane/", "32k"), "/opt/korvane/32k");
    EXPECT_EQ(system.join("", "db.dat"), "db.dat");
    EXPECT_EQ(system.join("/opt\\korvane", ""), "/opt\\korvane/");
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
