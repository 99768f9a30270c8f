#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "package.h"

// What an upgrade run did, as the window keeps it for tessary-cli's report. Texts are GBK.

namespace tessary {

// A statement that failed with an error the run does not expect (see failures.h).
struct UnexpectedFailure {
    std::string database;  // the database the run was in
    std::string statement;
    long native_error;  // 0 when the database gave none
    std::string text;   // the database client's error text
};

// The statements of a run, as its log counts them: sent, and of those failed, expected
// failures by native error, and every unexpected one.
struct StatementCounts {
    std::size_t sent = 0;
    std::size_t failed = 0;
    std::map<long, std::size_t> expected;
    std::vector<UnexpectedFailure> unexpected;
};

// The lock that keeps a second upgrade off the server while one runs.
enum class RunLock {
    kNotTaken,     // no run yet
    kHeld,         // taken at the start of the run and given back at its end
    kRefused,      // another session holds it: the run sent nothing else
    kUnavailable,  // the server could not grant it (no permission, no such procedure): the
                   // run went on without it
};

// Where a run stopped because the connection to the server was lost.
struct LostConnection {
    std::string database;  // the database the run was in
    std::string step;      // what the run was doing (UpgradeWindow::step)
    std::string text;      // the database client's error text
};

// One database of the run.
struct DatabasePass {
    std::string database;
    std::optional<std::string> upgrade_date;       // read at the start; nullopt if unreadable
    std::vector<std::string> batches_run;          // by date, each one sent to its end
    std::optional<package::ApplyOutcome> package;  // nullopt when the package was not applied
};

struct RunReport {
    RunLock lock = RunLock::kNotTaken;
    std::string lock_problem;  // why the lock was unavailable
    std::vector<DatabasePass> passes;
    StatementCounts counts;
    std::string log_path;
    // Set when the connection was lost: the run ended there.
    std::optional<LostConnection> connection_lost;
};

}  // namespace tessary
