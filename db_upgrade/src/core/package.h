#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "package_format.h"
#include "script_cut.h"
#include "system.h"

// What the program does with the script package db.dat (format in package_format.h): the
// maintainers build it from a script folder; the upgrade plans it and applies the plan.

namespace tessary {
class UpgradeWindow;
}

namespace tessary::package {

// The package's file name in the program's working directory (is_runpath).
inline constexpr const char* kFileName = "db.dat";

// The engine filter: with the client interface "ODBC" (any letter case) the applier takes
// the scripts whose name contains "ANY5", otherwise those whose name contains "MS"
// (letter case counts in the name).
bool engine_applies(std::string_view dbms, std::string_view name);

// Builds the package of every "*.sql" script in `folder` at `package_path`. The file is
// replaced only when every script was packed; otherwise it is left as it was and `error`
// (GBK) names the script or the file at fault. A script whose name Windows cannot hold as a
// file name is refused as well: the package could not be unpacked there.
struct PackOutcome {
    std::vector<std::string> scripts;  // as listed, in package order
    std::string error;
    // Packed, but their text does not split into a drop and a creation statement, so the
    // applier reports them and passes them over.
    std::vector<std::string> wrong_shape;
};
PackOutcome pack_folder(System& system, const std::string& folder, const std::string& package_path);

// What the applier does with one script of the package.
struct PlannedScript {
    Record record;        // its name and where it lies in the package
    bool engine_applies;  // under the plan's client interface
    ScriptCut cut;        // cut.splits(): wf_get_sql_go splits the text
};

// A package taken apart without a database, reading it a piece at a time: every script in
// package order, and for a package that does not read to its end, the applier's message
// (GBK; empty when the package is well formed). The applier, tessary-cli list and unpack
// and the preview of tessary-cli script all work from it, reading each script from the
// package when they need it.
struct Plan {
    std::vector<PlannedScript> scripts;
    std::string error;
    bool unreadable = false;  // the package could not be read to its end; error says why
};
Plan plan_package(FileReader& package, std::string_view dbms);

// How the applier ended.
enum class ApplyOutcome { kApplied, kMissing, kUnreadable, kMalformed, kFailed };

// The applier (cb_put) on the package at `package_path`: every script the engine filter
// takes, in package order, as its drop statement then its creation statement in one
// transaction. Stops at the first creation that fails, with that pair rolled back.
ApplyOutcome apply_package(UpgradeWindow& w, const std::string& package_path);

}  // namespace tessary::package
