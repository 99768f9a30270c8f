#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "system.h"
#include "transaction.h"

// What an upgrade would find and do, read without changing anything: the state of each
// store database (with selects and "use" alone), the procedure scripts and the script
// package. tessary-cli status shows it. Texts are GBK.

namespace tessary {

class UpgradeWindow;

struct DatabaseState {
    std::string name;
    // The recorded upgrade date ('00000000' when there is no row); nullopt when it cannot
    // be read, `problem` then says why.
    std::optional<std::string> upgrade_date;
    std::optional<std::string> version;  // nullopt when there is no version row
    std::string problem;
};

// Switches the connection to `database` and reads its upgrade date and version label.
DatabaseState read_database_state(Transaction& sqlca, const std::string& database);

struct ScriptFolderState {
    std::string folder;                  // empty when the registry names none
    std::optional<std::size_t> scripts;  // nullopt when the folder cannot be read
    std::string problem;
};

struct PackageState {
    std::string path;
    bool present = false;
    bool readable = false;
    std::uint64_t bytes = 0;
    std::size_t scripts = 0;
    std::size_t for_ms = 0;         // names holding "MS": the scripts for SQL Server
    std::size_t for_any5 = 0;       // names holding "ANY5": the scripts for ODBC
    std::size_t applied = 0;        // what the applier would run under the connection's engine
    std::size_t syntax_errors = 0;  // scripts the engine takes that do not split
    std::string problem;            // unreadable, or the applier's message for a malformed package
};

struct Status {
    std::vector<DatabaseState> databases;  // the store database, then the second one
    ScriptFolderState procedure_scripts;
    PackageState package;
};

// The status of the installation behind a window that has connected.
Status read_status(UpgradeWindow& w);

}  // namespace tessary
