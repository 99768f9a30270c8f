// The registry of a POSIX installation: the registry file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/host.h"
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

}  // namespace
}  // namespace tessary::host
