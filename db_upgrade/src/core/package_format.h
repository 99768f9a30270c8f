#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system.h"

// db.dat, the script package: the procedure and trigger scripts of the store database in
// one GBK byte string. Each script is one record, "$$$$$$" + file name + "^^^^" + the
// script's bytes in reverse order + "####"; the records follow one another directly and
// "@@@@" ends the package. There is no header, length or checksum.
//
// A package is read and written a piece at a time, so that scripts of any size take little
// memory: the reader finds where each script lies, and the script is read from there.

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

// Writes the record of the script `name` whose text `text` holds to `out`, reading the text a
// piece at a time. Returns what record_problem would say instead when the record would not
// read back (`out` may then hold part of it); a failed write shows in out.error().
std::optional<std::string> write_record(std::string_view name, FileReader& text, FileWriter& out);

// What is wrong with a package that does not read to its end.
enum class Problem {
    kCutShort,       // ends without the end marker, or with part of it
    kTrailingBytes,  // bytes after the end marker
    kNoNameHead,     // a record does not start with "$$$$$$"
    kNoBodyHead,     // a record has no "^^^^"
    kNoBodyEnd,      // a record has no "####"
    kUnreadable,     // the package could not be read there (the package's error() says why)
};

// A script in the package: its name, and where its bytes lie, in reverse order.
struct Record {
    std::string name;
    std::uint64_t body_at = 0;
    std::uint64_t size = 0;  // of the script, in bytes
};

// The script of a record read as a file of its own: front to back, as it was packed.
class RecordText final : public FileReader {
  public:
    RecordText(FileReader& package, const Record& record) : package_(package), record_(record) {}
    std::uint64_t size() const override { return record_.size; }
    bool read(std::uint64_t offset, std::size_t count, char* into) override;
    const std::string& error() const override { return package_.error(); }

  private:
    FileReader& package_;
    Record record_;
};

// The whole script of a record, for scripts known to be small; nullopt when it cannot be read.
std::optional<std::string> record_text(FileReader& package, const Record& record);

// Takes records from the front of a package, reading it a piece at a time. The package must
// outlive the reader.
class Reader {
  public:
    explicit Reader(FileReader& package) : package_(package) {}

    // The next record; nullopt at the end marker or at a problem.
    std::optional<Record> next();

    bool finished() const { return finished_; }
    const std::optional<Problem>& problem() const { return problem_; }
    // The problem in words (GBK), with the byte where it lies.
    std::string problem_text() const;

  private:
    std::optional<Record> fail(Problem problem);
    // Puts the `count` bytes at `at` into `out`, from the buffer where it holds them.
    bool take(std::uint64_t at, std::uint64_t count, std::string& out);
    // Adds the next piece of the package to the buffer, dropping the bytes before
    // `keep_from`; false at the end of the package or when it cannot be read.
    bool read_more(std::uint64_t keep_from);

    FileReader& package_;
    std::uint64_t at_ = 0;  // where the next record starts
    std::string buffer_;    // the package's bytes from buffer_at_ on
    std::uint64_t buffer_at_ = 0;
    bool finished_ = false;
    std::optional<Problem> problem_;
};

}  // namespace tessary::package
