#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/system.h"
#include "core/transaction.h"

// The commands of tessary-cli, one file each; main.cpp lists them.

namespace tessary::cli {

using Arguments = std::vector<std::string>;

// Exit codes; main.cpp explains them in --help.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kUnexpectedFailures = 3;
inline constexpr int kPackageStopped = 4;
inline constexpr int kAnotherUpgradeRunning = 5;
inline constexpr int kUpgradeDue = 10;

int script_command(const Arguments& arguments);   // command_script.cpp
int upgrade_command(const Arguments& arguments);  // command_upgrade.cpp
int status_command(const Arguments& arguments);   // command_status.cpp
int pack_command(const Arguments& arguments);     // command_package.cpp
int unpack_command(const Arguments& arguments);   // command_package.cpp
int list_command(const Arguments& arguments);     // command_package.cpp

// upgrade and status over the given connection and machine, writing to `out` and `err`.
// With `json`, one JSON object goes to `out` at the end and the text for people to `err`.
int run_upgrade(Transaction& sqlca, System& system, bool json, std::ostream& out,
                std::ostream& err);
int run_status(Transaction& sqlca, System& system, bool json, std::ostream& out, std::ostream& err);

// The client interface the shipped program connects with; the package's engine filter
// reads it.
inline constexpr const char* kShippedClientInterface = "MSS";

// Writes "tessary-cli: <reason>" (UTF-8) to `err` (standard error) and returns `code`.
int fail(const std::string& reason, int code = kFailure);
int fail(std::ostream& err, const std::string& reason, int code);

// Reads "--name VALUE" pairs, each name one of `names`, and the options of `flags`, which
// take no value, into `values` (a flag as an empty value). Returns the reason when an
// argument is neither.
std::optional<std::string> parse_options(const Arguments& arguments,
                                         const std::vector<std::string>& names,
                                         std::map<std::string, std::string>& values,
                                         const std::vector<std::string>& flags = {});

}  // namespace tessary::cli
