#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// db.dat, the script package: the procedure and trigger scripts of the store database in
// one GBK byte string. Each script is one record, "$$$$$$" + file name + "^^^^" + the
// script's bytes in reverse order + "####"; the records follow one another directly and
// "@@@@" ends the package. There is no header, length or checksum.

namespace tessary::package {

inline constexpr std::string_view kNameHead = "$$$$$$";
inline constexpr std::string_view kBodyHead = "^^^^";
inline constexpr std::string_view kBodyEnd = "####";
inline constexpr std::string_view kPackageEnd = "@@@@";

// The record of one script.
std::string record(std::string_view name, std::string_view text);

// Why a script cannot be packed so that it reads back unchanged (GBK, names the script), or
// nullopt when it can. Markers are never escaped, so a name holding "####" or "^^^^" or
// ending in "^", or a text holding "####" or starting with "#", would be split wrongly.
std::optional<std::string> record_problem(std::string_view name, std::string_view text);

// What is wrong with a package that does not read to its end.
enum class Problem {
    kCutShort,       // ends without the end marker, or with part of it
    kTrailingBytes,  // bytes after the end marker
    kNoNameHead,     // a record does not start with "$$$$$$"
    kNoBodyHead,     // a record has no "^^^^"
    kNoBodyEnd,      // a record has no "####"
};

struct Record {
    std::string_view name;
    std::string_view body;  // the script reversed, as stored

    std::string text() const;  // the script as it was packed
};

// Takes records from the front of a package. The package must outlive the reader and the
// records it hands out.
class Reader {
  public:
    explicit Reader(std::string_view package) : package_(package) {}

    // The next record; nullopt at the end marker or at a problem.
    std::optional<Record> next();

    bool finished() const { return finished_; }
    const std::optional<Problem>& problem() const { return problem_; }
    // The problem in words (GBK), with the byte where it lies.
    std::string problem_text() const;

  private:
    std::optional<Record> fail(Problem problem);

    std::string_view package_;
    std::size_t at_ = 0;
    bool finished_ = false;
    std::optional<Problem> problem_;
};

}  // namespace tessary::package
