// Characters whose second GBK byte has the value of a delimiter or a letter, through every rule
// that looks for one: paths, file names, connection values and quoted database names.
#include <gtest/gtest.h>

#include "core/file_names.h"
#include "core/registry_values.h"
#include "core/statements.h"
#include "host/host.h"

namespace tessary {
namespace {

TEST(GbkCharacters, ASecondByteThatLooksLikeADelimiterStaysPartOfItsCharacter) {
    const std::pair<const char*, char> rows[] = {
        {u8"東", '|'},  {u8"億", '|'},  {u8"瑋", '|'},  {u8"墊", '|'}, {u8"縷", '|'},
        {u8"淺", '\\'}, {u8"運", '\\'}, {u8"嘰", '\\'}, {u8"倉", '}'}, {u8"聖", '}'},
        {u8"脈", '}'},  {u8"乚", ']'},  {u8"營", 'I'}};
    const host::HostSystem system;
    for (const auto& [utf8, second_byte] : rows) {
        SCOPED_TRACE(utf8);
        const std::string c = host::utf8_to_gbk(utf8);
        ASSERT_EQ(c, std::string(1, c[0]) + second_byte);

        const std::string folder = "tj" + std::string(1, system.path_separator()) + c;
        EXPECT_EQ(system.join(folder, "p.sql"),
                  system.join(folder + system.path_separator(), "p.sql"));
        EXPECT_EQ(files::windows_name_problem(c + ".sql"), std::nullopt);
        // Letter case is folded around the character, never inside it.
        EXPECT_TRUE(files::same_file_on_windows({c + "p.sql", c + "P.SQL"}));
        const std::string other = std::string(1, c[0]) + static_cast<char>(c[1] ^ 0x20);
        EXPECT_FALSE(files::same_file_on_windows({c + ".sql", other + ".sql"}));

        // A plain value carries any second byte; in braces a "}" would end the value.
        EXPECT_EQ(connection_value_fault(c), std::nullopt);
        const std::string braced = connection_value_fault(" " + c).value_or("");
        EXPECT_EQ(braced.find("其中“" + c + "”字") != std::string::npos, second_byte == '}');

        EXPECT_EQ(statements::use_database(c + "]" + c), "use [" + c + "]]" + c + "]");
    }
}

}  // namespace
}  // namespace tessary
