#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What the upgrade core needs from the machine it runs on: the registry, its directories,
// files and the clock. host/ holds the one System of each operating system; the tests take
// the host's and set the registry and the directories themselves.
//
// Paths, names and values are byte strings as the system hands them over (GBK on the
// store machines). Failures come back with the system's reason; nothing here throws for
// them.

namespace tessary {

// A value, or the reason why there is none.
template <typename T>
struct Result {
    std::optional<T> value;
    std::string error;

    explicit operator bool() const { return value.has_value(); }
    const T& operator*() const { return *value; }
    T& operator*() { return *value; }
    const T* operator->() const { return &*value; }

    static Result failure(std::string reason) { return {std::nullopt, std::move(reason)}; }
};

// A file being read, from any place in it, a piece at a time. A reader whose file could not be
// opened says so in error() and is empty.
class FileReader {
  public:
    virtual ~FileReader() = default;
    virtual std::uint64_t size() const = 0;
    // Puts the `count` bytes from `offset` on into `into`; false (with error()) when they
    // cannot all be read.
    virtual bool read(std::uint64_t offset, std::size_t count, char* into) = 0;
    virtual const std::string& error() const = 0;
};

// A file being written. A writer whose file could not be opened says so in error() and
// takes nothing.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    // Adds bytes at the end; false (with error()) once anything has failed.
    virtual bool write(std::string_view bytes) = 0;
    // Completes the file; false (with error()) when that fails.
    virtual bool finish() = 0;
    virtual const std::string& error() const = 0;
};

// How many bytes the temporary name of System::replace_file adds to the path.
inline constexpr std::size_t kTemporarySuffixLength = 21;

struct LocalTime {
    int year;
    int month;  // 1 to 12
    int day;
    int hour;
    int minute;
    int second;
};

class System {
  public:
    virtual ~System() = default;

    // A string value of a key under HKEY_LOCAL_MACHINE (key path without the hive, e.g.
    // "SOFTWARE\\korvane"); nullopt when the key or the value is missing.
    virtual std::optional<std::string> registry_string(const std::string& key,
                                                       const std::string& value) = 0;
    // Why the registry cannot be read at all, in words (GBK) that name where it is kept (a
    // POSIX machine keeps it in a file); empty when it can. Windows' own registry is always
    // there.
    virtual std::string registry_problem() { return {}; }

    // The process's current directory, without a trailing separator.
    virtual std::string current_directory() = 0;
    // The folder, with its trailing separator, in which the maintainers keep the procedure
    // and trigger scripts that the build button packs. Only their machines have it.
    virtual std::string maintainers_script_folder() = 0;

    // The separator the system puts between a folder and a name.
    virtual char path_separator() const = 0;
    // `folder` and `name` joined by one separator (none added when `folder` is empty or
    // already ends in one).
    virtual std::string join(const std::string& folder, const std::string& name) const = 0;

    // Names of the plain files in `folder` (no subfolders), in no particular order.
    virtual Result<std::vector<std::string>> plain_files(const std::string& folder) = 0;
    virtual bool exists(const std::string& path) = 0;
    // The whole content of a file.
    virtual Result<std::string> read_file(const std::string& path) = 0;
    // A file to read in pieces, for files too large to hold (script packages).
    virtual std::unique_ptr<FileReader> open_file(const std::string& path) = 0;
    // Writes a file under a temporary name beside `path` (the path followed by
    // kTemporarySuffixLength bytes) and puts it in place of the path only when finished, so
    // that readers of the path see the old content or the whole new one, and a write that
    // fails or is abandoned leaves the old file untouched.
    virtual std::unique_ptr<FileWriter> replace_file(const std::string& path) = 0;
    // Why replace_file cannot write `path` on this system, seen before anything is written:
    // the name or the whole path, with the temporary name's suffix, is longer than the
    // system takes. In words (GBK) that start with what is too long, "名称" or "路径";
    // nullopt when it fits.
    virtual std::optional<std::string> too_long_to_replace(const std::string& path) = 0;
    // Appends to the file at `path`, creating it when missing; each write reaches the file
    // at once.
    virtual std::unique_ptr<FileWriter> append_to_file(const std::string& path) = 0;

    virtual LocalTime local_time() = 0;
};

}  // namespace tessary
