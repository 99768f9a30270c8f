// The bytes of db.dat: records that read back, and packages that do not read to their end.
#include "core/package_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/files.h"

namespace tessary::package {
namespace {

// Names the cases of a parameterised test by their place in the list.
template <typename Param>
std::string numbered(const ::testing::TestParamInfo<Param>& test_case) {
    return "case" + std::to_string(test_case.index);
}

TEST(PackageRecord, IsRefusedExactlyWhenItWouldNotReadBack) {
    // Every name and text of up to three bytes made of the markers' characters and a letter.
    std::vector<std::string> pieces{""};
    for (std::size_t from = 0; pieces.back().size() < 3; ++from) {
        for (char c : {'#', '^', '$', '@', 'a'}) pieces.push_back(pieces[from] + c);
    }
    for (const auto& name : pieces) {
        for (const auto& text : pieces) {
            const std::string bytes = record(name, text) + std::string(kPackageEnd);
            files::BytesReader package(bytes);
            Reader reader(package);
            const auto first = reader.next();
            const bool reads_back = first && first->name == name &&
                                    record_text(package, *first) == text && !reader.next() &&
                                    reader.finished();
            EXPECT_EQ(!record_problem(name, text).has_value(), reads_back)
                << "name '" << name << "' text '" << text << "'";
        }
    }
}

struct Malformed {
    std::string bytes;
    Problem problem;
    std::string text;
};

class MalformedPackage : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedPackage, StopsWithItsProblemInsteadOfLooping) {
    files::BytesReader package(GetParam().bytes);
    Reader reader(package);
    while (reader.next()) {
    }
    EXPECT_FALSE(reader.finished());
    EXPECT_EQ(reader.problem(), GetParam().problem);
    EXPECT_EQ(reader.problem_text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedPackage,
    ::testing::Values(Malformed{"", Problem::kCutShort, "文件为空，没有结束标记 @@@@"},
                      Malformed{"$$$$$$a^^^^cba####", Problem::kCutShort,
                                "文件在第 18 字节后中断，缺少结束标记 @@@@"},
                      Malformed{"$$$$$$a^^^^cba####@@", Problem::kCutShort,
                                "文件在第 20 字节后中断，缺少结束标记 @@@@"},
                      Malformed{"$$$$$$a^^^^cba####@@@@\r\n", Problem::kTrailingBytes,
                                "结束标记 @@@@ 之后还有 2 字节"},
                      Malformed{"$$$$$$a^^^^cba####$$$$$$b^^^^fed", Problem::kNoBodyEnd,
                                "从第 19 字节起的记录没有结束标记 ####（文件不完整或已被改动）"},
                      Malformed{"$$$$$$a^^^^cba####xyz####@@@@", Problem::kNoNameHead,
                                "第 19 字节处不是记录的开始标记 $$$$$$"},
                      Malformed{"$$$$$$abc####@@@@", Problem::kNoBodyHead,
                                "从第 1 字节起的记录没有标记 ^^^^"}),
    numbered<Malformed>);

// A script larger than a text can hold is refused, never read cut to the bytes that a 32-bit
// size keeps (2^32 + 3 bytes would read as 3).
TEST(PackagePiece, LargerThanATextCanHoldIsRefusedNotCut) {
    files::BytesReader file("abc");
    const std::uint64_t too_many = sizeof(std::size_t) < sizeof(std::uint64_t)
                                       ? (std::uint64_t{1} << 32) + 3
                                       : std::numeric_limits<std::uint64_t>::max();
    std::string out;
    EXPECT_THROW(files::append_bytes(file, 0, too_many, out), std::length_error);
}

}  // namespace
}  // namespace tessary::package
