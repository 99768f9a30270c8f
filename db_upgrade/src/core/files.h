#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file services the window's handlers are built on: directory listings, whole-file and
// line reads, and files replaced only once they are complete. Paths and names are byte
// strings as the system hands them over (GBK on the store machines). Failures come back
// with the system's reason; nothing here throws for them.

namespace tessary::files {

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

// `folder` and `name` joined by one separator.
std::string join(const std::string& folder, const std::string& name);

// Names of the plain files in `folder` that match `mask` ('*' any run of bytes, '?' one
// byte, letter case ignored), ascending by name with letter case ignored, as a sorted
// list box shows them. Subfolders are not listed.
Result<std::vector<std::string>> list_files(const std::string& folder, std::string_view mask);

bool exists(const std::string& path);

// The whole content of a file.
Result<std::string> read_file(const std::string& path);

// The lines of a file, each without its line end (LF, or CR LF). A last line without a
// line end counts; a line end at the very end of the file starts no further line.
Result<std::vector<std::string>> read_lines(const std::string& path);

// Writes a file under a temporary name beside its path and renames it into place only on
// commit(), so that readers of the path see the old content or the whole new one, and a
// write that fails or is abandoned leaves the old file untouched.
class ReplacingFile {
  public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Appends bytes; false (with error()) once anything has failed.
    bool write(std::string_view bytes);
    // Completes the file and puts it in place of the path; false (with error()) when that
    // fails, and the old file is then left as it was.
    bool commit();
    const std::string& error() const { return error_; }

  private:
    void discard();

    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    std::string error_;
};

// Replaces the file at `path` by `bytes` through a ReplacingFile; the reason on failure,
// empty on success.
std::string write_file(const std::string& path, std::string_view bytes);

}  // namespace tessary::files
