// The reader of db.dat and the planning of a package, on any bytes. Beyond the sanitizers:
// - a package that reads to its end is exactly its records written back, and the plan lists
//   the same scripts, with no error; one that does not read to its end has a plan error;
// - a script that record_problem lets through reads back unchanged, name and text, also
//   when another record follows it; written a piece at a time, its record is the same bytes,
//   and a script refused is refused there with the same words.
// Input: one byte giving the name's length, the name, then the script's text; the whole input
// is read as a package as well.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/files.h"
#include "core/package.h"
#include "core/package_format.h"
#include "fuzz_check.h"

using namespace tessary::package;

namespace {

void check_reading(std::string_view bytes) {
    tessary::files::BytesReader package(bytes);
    Reader reader(package);
    std::vector<Record> records;
    while (auto next = reader.next()) records.push_back(*next);
    korvane_require(reader.finished() != reader.problem().has_value(),
                    "a package either reads to its end or has a problem");

    const Plan plan = plan_package(package, "ODBC");
    korvane_require(plan.scripts.size() == records.size(), "the plan lists every record read");
    for (std::size_t i = 0; i < records.size(); ++i) {
        korvane_require(plan.scripts[i].record.name == records[i].name, "the plan keeps the names");
    }
    korvane_require(plan.error.empty() == reader.finished(),
                    "the plan has an error exactly when the package does not read to its end");
    if (!reader.finished()) return;

    std::string written;
    for (const Record& read : records) written += record(read.name, *record_text(package, read));
    written += kPackageEnd;
    korvane_require(written == bytes, "a package read to its end is its records written back");
}

// A file written into memory.
class Written final : public tessary::FileWriter {
  public:
    bool write(std::string_view bytes) override {
        bytes_ += bytes;
        return true;
    }
    bool finish() override { return true; }
    const std::string& error() const override { return error_; }
    std::string bytes_, error_;
};

void check_round_trip(std::string_view name, std::string_view text) {
    tessary::files::BytesReader script(text);
    Written written;
    const auto problem = record_problem(name, text);
    korvane_require(write_record(name, script, written) == problem,
                    "writing a record refuses what record_problem refuses, in its words");
    if (problem) return;
    korvane_require(written.bytes_ == record(name, text),
                    "a record written a piece at a time is the record");
    const std::string bytes =
        record(name, text) + record("next.sql", "go") + std::string(kPackageEnd);
    tessary::files::BytesReader package(bytes);
    Reader reader(package);
    const auto first = reader.next();
    korvane_require(first && first->name == name && record_text(package, *first) == text,
                    "a script that can be packed reads back unchanged");
    const auto second = reader.next();
    korvane_require(second && second->name == "next.sql" && record_text(package, *second) == "go",
                    "the record after it reads back unchanged");
    korvane_require(!reader.next() && reader.finished(), "the package ends after its records");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check_reading(bytes);
    if (size == 0) return 0;
    const std::size_t name_length = std::min<std::size_t>(data[0], size - 1);
    check_round_trip(bytes.substr(1, name_length), bytes.substr(1 + name_length));
    return 0;
}
