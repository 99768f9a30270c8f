#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window.h"

// db.dat, the script package: the procedure and trigger scripts of the store database in
// one GBK byte string. Each script is one record, "$$$$$$" + file name + "^^^^" + the
// script's bytes in reverse order + "####"; the records follow one another directly and
// "@@@@" ends the package. There is no header, length or checksum.

namespace tessary::package {

inline constexpr std::string_view kNameHead = "$$$$$$";
inline constexpr std::string_view kBodyHead = "^^^^";
inline constexpr std::string_view kBodyEnd = "####";
inline constexpr std::string_view kPackageEnd = "@@@@";

// The package's file name in the program's working directory (is_runpath).
inline constexpr const char* kFileName = "db.dat";

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

// Takes records from the front of a package, as the applier consumes it. The package must
// outlive the reader and the records it hands out.
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

// The applier's message for a package that stops at `reader`'s problem (GBK).
std::string malformed_message(const Reader& reader, const std::string& last_applied);

// The engine filter: with the client interface "ODBC" (any letter case) the applier takes
// the scripts whose name contains "ANY5", otherwise those whose name contains "MS"
// (letter case counts in the name).
bool engine_applies(std::string_view dbms, std::string_view name);

// Builds the package of every "*.sql" script in `folder` at `package_path`. The file is
// replaced only when every script was packed; otherwise it is left as it was and `error`
// (GBK) names the script or the file at fault.
struct PackOutcome {
    std::vector<std::string> scripts;  // as listed, in package order
    std::string error;
};
PackOutcome pack_folder(System& system, const std::string& folder, const std::string& package_path);

// A package taken apart without a database: every record with what the applier would do
// with it, or, for a package that does not read to its end, the applier's message.
struct Entry {
    std::string name;
    std::string text;
    bool engine_applies;  // under `dbms`
    bool syntax_ok;       // wf_get_sql_go accepts it
};
struct Contents {
    std::vector<Entry> entries;
    std::string error;  // GBK; empty when the package is well formed
};
Contents read_contents(std::string_view package, std::string_view dbms);

// How the applier ended.
enum class ApplyOutcome { kApplied, kMissing, kUnreadable, kMalformed, kFailed };

// The applier (cb_put) on the package at `package_path`: every record the engine filter
// takes, in package order, as its drop statement then its creation statement in one
// transaction. Stops at the first creation that fails, with that pair rolled back.
ApplyOutcome apply_package(UpgradeWindow& w, const std::string& package_path);

}  // namespace tessary::package
