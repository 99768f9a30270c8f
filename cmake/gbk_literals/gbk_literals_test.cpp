#include "gbk_literals.h"

#include <gtest/gtest.h>

#include <string>

using gbk_literals::escape_literals;

namespace {

std::string escape(const std::string& source) {
    return escape_literals(source, "probe.cpp");
}

}  // namespace

// 中 is D6 D0, 文 CE C4, 乗 81 5C: its trail byte reads as a backslash.
TEST(EscapeLiterals, NarrowLiteralsBecomeThreeDigitOctalGbk) {
    EXPECT_EQ(escape(R"(const char* a = "中1";)"), R"(const char* a = "\326\3201";)")
        << "a digit after the character stays a character of its own";
    EXPECT_EQ(escape(R"("\x41中F")"), R"("\x41\326\320F")");
    EXPECT_EQ(escape(R"("乗|")"), R"("\201\134|")");
    EXPECT_EQ(escape(R"("\u6587\U00004E2D\u0041\n")"), R"("\316\304\326\320\u0041\n")");
    EXPECT_EQ(escape(R"(int c = '中';)"), R"(int c = '\326\320';)");
    EXPECT_EQ(escape("#define T \"\xe4\xb8\xad\" x\n"), "#define T \"\\326\\320\" x\n");
}

TEST(EscapeLiterals, RawLiteralsBecomeOrdinaryOnesOnTheSameLines) {
    const std::string source = "f(R\"x(a\"\\中\n\tb)x\", 1);\nint line3;";
    const std::string escaped = escape(source);
    EXPECT_EQ(escaped, "f(\"a\\\"\\\\\\326\\320\\n\"\n\"\tb\", 1);\nint line3;");
}

TEST(EscapeLiterals, EverythingElseIsKeptByteForByte) {
    const std::string kept =
        "// \"中\" isn't\n/* '中' \"文\" */ u8\"中\" L\"中\" u\"中\" U'中' u8R\"(中)\" "
        "R\"(ascii \\)\"\n#include \"中.h\"\n# 1 \"中.h\" 1\n#error don't \"中\"\n"
        "#pragma message(\"中\")\nint n = 1'000'000 + 0x1'f; char c = 'a';\n"
        "auto s = \"a\\\"b\" \"\\u0041\"_x;\n";
    EXPECT_EQ(escape(kept), kept);
}

TEST(EscapeLiterals, ACharacterWithoutGbkFormStopsTheCompilerAtItsPlace) {
    EXPECT_EQ(escape("int a;\n# 6 \"x.h\" 1\nint b;\nauto t = \"\xf0\x9f\x98\x80\";\n"),
              "int a;\n# 6 \"x.h\" 1\nint b;\nauto t = _Pragma(\"GCC error \\\"x.h:7: "
              "\\\\\\\"\xf0\x9f\x98\x80\\\\\\\" has no GBK form\\\"\") \"\xf0\x9f\x98\x80\";\n");
}
