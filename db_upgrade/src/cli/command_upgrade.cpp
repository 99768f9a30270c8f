#include <chrono>
#include <iostream>

#include "commands.h"
#include "connect.h"
#include "core/failures.h"
#include "core/run_log.h"
#include "core/status.h"
#include "core/upgrade.h"
#include "core/window.h"
#include "host/host.h"
#include "json_output.h"
#include "terminal_ui.h"

namespace tessary::cli {
namespace {

const char* package_outcome_name(package::ApplyOutcome outcome) {
    switch (outcome) {
        case package::ApplyOutcome::kApplied:
            return "applied";
        case package::ApplyOutcome::kMissing:
            return "missing";
        case package::ApplyOutcome::kUnreadable:
            return "unreadable";
        case package::ApplyOutcome::kMalformed:
            return "malformed";
        case package::ApplyOutcome::kFailed:
            return "failed";
    }
    return "unknown";
}

const char* run_lock_name(RunLock lock) {
    switch (lock) {
        case RunLock::kNotTaken:
            return "not taken";
        case RunLock::kHeld:
            return "held";
        case RunLock::kRefused:
            return "refused";
        case RunLock::kUnavailable:
            return "unavailable";
    }
    return "unknown";
}

bool ran_batches(const DatabasePass& pass) {
    return pass.upgrade_date && is_gate_date(*pass.upgrade_date);
}

// Why a pass ran no batch: the upgrade date it read.
std::string unknown_date_reason(const DatabasePass& pass) {
    const std::string database = host::gbk_to_utf8(pass.database);
    if (!pass.upgrade_date) {
        return "the upgrade date of the database " + database +
               " could not be read; its batches did not run";
    }
    std::string dates;
    for (const std::string_view date : gate_dates()) {
        dates += (dates.empty() ? "" : ", ") + std::string(date);
    }
    return "the database " + database + " records the upgrade date " +
           host::gbk_to_utf8(*pass.upgrade_date) + ", which is none of this program's (" + dates +
           "); its batches did not run";
}

// The exit code of a run that took place, with its reason on `err`. The program's message
// for an unknown date and for a missing db.dat is the same; these lines tell them apart.
int run_exit_code(const RunReport& run, const std::string& package_folder, std::ostream& err) {
    if (run.lock == RunLock::kRefused) {
        return fail(err, "another upgrade runs against this server; nothing was sent",
                    kAnotherUpgradeRunning);
    }
    if (const auto& lost = run.connection_lost) {
        return fail(err,
                    "the connection to the server was lost in the database " +
                        host::gbk_to_utf8(lost->database) + " at the step " +
                        host::gbk_to_utf8(lost->step) +
                        "; the run stopped there and sent nothing after it",
                    kFailure);
    }
    const DatabasePass* unknown_date = nullptr;
    const DatabasePass* package_stopped = nullptr;
    for (const DatabasePass& pass : run.passes) {
        if (!unknown_date && !ran_batches(pass)) unknown_date = &pass;
        if (!package_stopped && pass.package && *pass.package != package::ApplyOutcome::kApplied)
            package_stopped = &pass;
    }
    const bool package_missing =
        package_stopped && *package_stopped->package == package::ApplyOutcome::kMissing;
    const std::string package_reason =
        package_missing
            ? "db.dat is not in the working folder " + host::gbk_to_utf8(package_folder) +
                  ": the script package was not applied"
            : "the script package db.dat was not applied to its end; see the "
              "messages above";
    if (unknown_date) {
        if (package_stopped) fail(err, package_reason, kPackageStopped);
        return fail(err, unknown_date_reason(*unknown_date), kFailure);
    }
    if (package_stopped) return fail(err, package_reason, kPackageStopped);
    if (!run.counts.unexpected.empty()) {
        return fail(err,
                    std::to_string(run.counts.unexpected.size()) +
                        " statements failed with unexpected errors (the lines 未预期的错误 above); "
                        "the run log " +
                        host::gbk_to_utf8(run.log_path) + " has every statement",
                    kUnexpectedFailures);
    }
    return kSuccess;
}

// What the run did, for the JSON report; reads each database's state after the run.
void add_run(Json::Value& report, const RunReport& run, Transaction& sqlca) {
    report["run_lock"] = run_lock_name(run.lock);
    if (const auto& lost = run.connection_lost) {
        Json::Value& entry = report["connection_lost"];
        entry["database"] = json_text(lost->database);
        entry["step"] = json_text(lost->step);
        entry["error"] = json_text(lost->text);
    }
    if (run.lock == RunLock::kRefused) return;
    if (!run.lock_problem.empty()) report["run_lock_problem"] = json_text(run.lock_problem);

    Json::Value& databases = report["databases"] = Json::Value(Json::arrayValue);
    for (const DatabasePass& pass : run.passes) {
        Json::Value entry(Json::objectValue);
        entry["name"] = json_text(pass.database);
        entry["upgrade_date_before"] = json_text(pass.upgrade_date);
        Json::Value& batches = entry["batches_run"] = Json::Value(Json::arrayValue);
        for (const std::string& date : pass.batches_run) batches.append(date);
        const DatabaseState after = read_database_state(sqlca, pass.database);
        entry["upgrade_date_after"] = json_text(after.upgrade_date);
        entry["database_version_after"] = json_text(after.version);
        entry["package"] =
            pass.package ? Json::Value(package_outcome_name(*pass.package)) : Json::Value();
        databases.append(entry);
    }

    const StatementCounts& counts = run.counts;
    Json::Value& statements = report["statements"];
    statements["sent"] = Json::UInt64(counts.sent);
    statements["succeeded"] = Json::UInt64(counts.sent - counts.failed);
    statements["failed"] = Json::UInt64(counts.failed);
    statements["expected_failures"] = Json::UInt64(counts.failed - counts.unexpected.size());
    statements["unexpected_failures"] = Json::UInt64(counts.unexpected.size());

    Json::Value& expected = report["expected_failures"] = Json::Value(Json::arrayValue);
    for (const auto& [number, count] : counts.expected) {
        Json::Value entry(Json::objectValue);
        entry["error"] = Json::Int64(number);
        entry["meaning"] = std::string(expected_failure(number)->meaning);
        entry["count"] = Json::UInt64(count);
        expected.append(entry);
    }
    Json::Value& unexpected = report["unexpected_failures"] = Json::Value(Json::arrayValue);
    for (const UnexpectedFailure& failure : counts.unexpected) {
        Json::Value entry(Json::objectValue);
        entry["database"] = json_text(failure.database);
        entry["error"] = Json::Int64(failure.native_error);
        entry["statement"] = json_text(statement_excerpt(failure.statement));
        entry["text"] = json_text(failure.text);
        unexpected.append(entry);
    }
    report["log"] = json_text(run.log_path);
}

}  // namespace

// The run of the upgrade button, headless: window open, connection, then the run over the
// store database and, when the server holds it, the second database.
int run_upgrade(Transaction& sqlca, System& system, bool json, std::ostream& out,
                std::ostream& err) {
    const auto started = std::chrono::steady_clock::now();
    TerminalUi ui(err);
    UpgradeWindow window(ui, system, sqlca);
    Json::Value report(Json::objectValue);
    report["command"] = "upgrade";
    int exit_code = kFailure;
    if (open_and_connect(window, ui, report, err)) {
        cb_1_clicked(window);
        if (json) add_run(report, window.last_run, sqlca);
        sqlca.disconnect();
        exit_code = run_exit_code(window.last_run, window.is_runpath, err);
    }
    if (json) {
        report["seconds"] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        report["exit_code"] = exit_code;
        print_json(out, report);
    }
    return exit_code;
}

int upgrade_command(const Arguments& arguments) {
    return run_connected_command(arguments, run_upgrade);
}

}  // namespace tessary::cli
