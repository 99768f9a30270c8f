#include "platform/profile_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace vortal::platform;

TEST(ProfileRules, ReadTheWayTheWindowsProfileFunctionsDo) {
    const std::string ini =
        "; a comment\n[Other]\nHost=other\n[ Server ]\r\n Host = \"pay.example\" \r\n"
        "Path='/pay api'\nEmpty=\n[server]\nLate=second section\n";
    EXPECT_EQ(profile_value(ini, "SERVER", "host"), "pay.example");
    EXPECT_EQ(profile_value(ini, "server", "path"), "/pay api");
    EXPECT_EQ(profile_value(ini, "server", "empty"), "");
    EXPECT_EQ(profile_value(ini, "server", "late"), std::nullopt)
        << "only the first section of a name is read";
    EXPECT_EQ(profile_value(ini, "missing", "host"), std::nullopt);
    // GBK names go by character: the trail byte "]" of 乚 (81 5D) does not close the name, and
    // trail bytes that are codes of letters are not folded (鉟 E3 59 is not 銀 E3 79).
    const std::string gbk = "[\x81\x5d]\nKey=v1\n[\xe3\x59]\nk=other\n[\xe3\x79]\nk=v2\n";
    EXPECT_EQ(profile_value(gbk, "\x81\x5d", "key"), "v1");
    EXPECT_EQ(profile_value(gbk, "\xe3\x79", "K"), "v2");

    EXPECT_EQ(profile_number("8080 blanks"), 8080);
    EXPECT_EQ(profile_number("-45"), -45);
    EXPECT_EQ(profile_number("x1"), 0);
    EXPECT_EQ(profile_number("4294967297"), 1) << "wraps at 32 bits";

    // What the settings check flags: a number that reads otherwise than it shows.
    for (const char* exact : {"80", "-45", "+7", "2147483647", "-2147483648", "007"})
        EXPECT_TRUE(profile_number_exact(exact)) << exact;
    for (const char* other : {"", "-", "8080 blanks", "45s", "abc", "2147483648", "4294967376"})
        EXPECT_FALSE(profile_number_exact(other)) << other;
}

TEST(ProfileRules, RegistryFileValuesByKeyPathAndName) {
    const std::string registry =
        "# the store's registry\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix]\n; note\n"
        "Path = /opt/varnix \npath=/second\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\n"
        "DATABASE=store\n";
    EXPECT_EQ(registry_value(registry, "hkey_local_machine\\software\\VARNIX", "PATH"),
              "/opt/varnix");
    EXPECT_EQ(registry_value(registry, "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane", "Path"),
              std::nullopt);
    EXPECT_EQ(registry_value(registry, "HKEY_LOCAL_MACHINE\\SOFTWARE", "DATABASE"), std::nullopt);
}
