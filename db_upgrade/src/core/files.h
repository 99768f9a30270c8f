#pragma once

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

// Replaces the file at `path` by `bytes` (see System::replace_file); the reason on
// failure, empty on success.
std::string write_file(System& system, const std::string& path, std::string_view bytes);

}  // namespace tessary::files
