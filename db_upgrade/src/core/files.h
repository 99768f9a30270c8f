#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "system.h"

// The file services the window's handlers are built on, over what the System gives:
// directory listings as a sorted list box shows them, line reads, whole-file writes.

namespace tessary::files {

// Names of the plain files in `folder` that match `mask` ('*' any run of bytes, '?' one
// byte, letter case ignored), ascending by name with letter case ignored, as a sorted
// list box shows them. Subfolders are not listed.
Result<std::vector<std::string>> list_files(System& system, const std::string& folder,
                                            std::string_view mask);

// The lines of a text, each without its line end (LF, or CR LF). A last line without a
// line end counts; a line end at the very end of the text starts no further line.
std::vector<std::string> split_lines(const std::string& text);

// The lines of a file, as split_lines gives them.
Result<std::vector<std::string>> read_lines(System& system, const std::string& path);

// How many bytes a file too large to hold is read at a time.
inline constexpr std::size_t kPiece = 1 << 16;

// Bytes in memory read as a file.
class BytesReader final : public FileReader {
  public:
    explicit BytesReader(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::size_t count, char* into) override;
    const std::string& error() const override { return error_; }

  private:
    std::string_view bytes_;
    std::string error_;
};

// Appends the `count` bytes from `offset` of `file` to `out`; false when they cannot all be
// read (file.error() says why). Throws std::length_error when a text cannot hold them (a
// 32-bit program and a script of gigabytes).
bool append_bytes(FileReader& file, std::uint64_t offset, std::uint64_t count, std::string& out);

// Hands `take` the bytes [from, to) of `file` a piece at a time, front to back, each with
// its offset, until `take` returns false. False when a piece cannot be read.
template <typename Take>
bool for_each_piece(FileReader& file, std::uint64_t from, std::uint64_t to, Take take) {
    std::string piece;
    for (std::uint64_t at = from; at < to; at += piece.size()) {
        piece.clear();
        if (!append_bytes(file, at, std::min<std::uint64_t>(kPiece, to - at), piece)) return false;
        if (!take(std::string_view(piece), at)) break;
    }
    return true;
}

// Replaces the file at `path` by `bytes` (see System::replace_file); the reason on
// failure, empty on success.
std::string write_file(System& system, const std::string& path, std::string_view bytes);
// The same with the bytes of `source`, read a piece at a time.
std::string write_file(System& system, const std::string& path, FileReader& source);

}  // namespace tessary::files
