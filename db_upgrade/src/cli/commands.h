#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The commands of tessary-cli, one file each; main.cpp lists them.

namespace tessary::cli {

using Arguments = std::vector<std::string>;

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

int script_command(const Arguments& arguments);   // command_script.cpp
int upgrade_command(const Arguments& arguments);  // command_upgrade.cpp
int pack_command(const Arguments& arguments);     // command_package.cpp
int unpack_command(const Arguments& arguments);   // command_package.cpp
int list_command(const Arguments& arguments);     // command_package.cpp

// The client interface the shipped program connects with; the package's engine filter
// reads it.
inline constexpr const char* kShippedClientInterface = "MSS";

// Writes "tessary-cli: <reason>" (UTF-8) to stderr and returns `code`.
int fail(const std::string& reason, int code = kFailure);

// Reads "--name VALUE" pairs, each name one of `names`, into `values`. Returns the reason
// when an argument is not such a pair.
std::optional<std::string> parse_options(const Arguments& arguments,
                                         const std::vector<std::string>& names,
                                         std::map<std::string, std::string>& values);

}  // namespace tessary::cli
