#include <iostream>

#include "commands.h"
#include "connect.h"
#include "core/status.h"
#include "core/upgrade.h"
#include "core/window.h"
#include "host/host.h"
#include "json_output.h"
#include "terminal_ui.h"

namespace tessary::cli {
namespace {

bool up_to_date(const DatabaseState& state) {
    return state.upgrade_date && is_up_to_date(*state.upgrade_date);
}

// A database whose date cannot be read, or that records a date no batch starts from, is one
// an upgrade cannot bring up to date.
bool upgradable(const DatabaseState& state) {
    return state.upgrade_date && is_gate_date(*state.upgrade_date);
}

std::string batch_text(const Batch& batch) {
    std::string out =
        std::string(batch.date) + " (" + std::to_string(batch.fixed_statements) + " statements";
    if (is_up_to_date(batch.date)) out += " and the procedure rebuild";
    return out + ")";
}

// What an upgrade does in the database next.
std::string next_upgrade(const DatabaseState& state) {
    if (!state.upgrade_date) return "stops: its upgrade date cannot be read";
    const std::string date = host::gbk_to_utf8(*state.upgrade_date);
    const std::vector<Batch> batches = batches_from(*state.upgrade_date);
    if (batches.empty())
        return "runs no batch: " + date + " is not an upgrade date of this program";
    if (up_to_date(state))
        return "runs batch " + batch_text(batches[0]) + " again, as every upgrade does";
    std::string out = "runs batches ";
    for (std::size_t i = 0; i < batches.size(); ++i) {
        out += (i == 0 ? "" : ", ") + batch_text(batches[i]);
    }
    return out;
}

void print_database(std::ostream& out, const DatabaseState& state) {
    out << "database " << host::gbk_to_utf8(state.name) << '\n';
    if (state.upgrade_date) {
        out << "  upgrade date   " << host::gbk_to_utf8(*state.upgrade_date) << '\n'
            << "  version        "
            << (state.version ? host::gbk_to_utf8(*state.version) : std::string("(no row)"))
            << '\n';
    }
    if (!state.problem.empty())
        out << "  cannot read    " << host::gbk_to_utf8(state.problem) << '\n';
    out << "  next upgrade   " << next_upgrade(state) << '\n';
}

void print_status(std::ostream& out, const Status& status, const char* verdict) {
    for (const DatabaseState& state : status.databases) print_database(out, state);

    const ScriptFolderState& scripts = status.procedure_scripts;
    out << "procedure scripts  ";
    if (scripts.folder.empty()) {
        out << "the registry names no PATH: an upgrade rebuilds nothing\n";
    } else if (!scripts.scripts) {
        out << "cannot read " << host::gbk_to_utf8(scripts.folder) << ": "
            << host::gbk_to_utf8(scripts.problem) << '\n';
    } else {
        out << host::gbk_to_utf8(scripts.folder) << ", " << *scripts.scripts
            << " scripts rebuilt by each upgrade\n";
    }

    const PackageState& package = status.package;
    out << "script package     " << host::gbk_to_utf8(package.path);
    if (!package.present) {
        out << " is missing: an upgrade stops its package step\n";
    } else if (!package.readable) {
        out << ": cannot read: " << host::gbk_to_utf8(package.problem) << '\n';
    } else {
        out << ", " << package.bytes << " bytes, " << package.scripts << " scripts ("
            << package.for_ms << " for MS, " << package.for_any5
            << " for ANY5); an upgrade applies " << package.applied << ", reports "
            << package.syntax_errors << " with a syntax error\n";
        if (!package.problem.empty()) out << "  " << host::gbk_to_utf8(package.problem) << '\n';
    }
    out << verdict << std::endl;
}

void add_status(Json::Value& report, const Status& status) {
    Json::Value& databases = report["databases"] = Json::Value(Json::arrayValue);
    for (const DatabaseState& state : status.databases) {
        Json::Value entry(Json::objectValue);
        entry["name"] = json_text(state.name);
        entry["upgrade_date"] = json_text(state.upgrade_date);
        entry["database_version"] = json_text(state.version);
        if (!state.problem.empty()) entry["problem"] = json_text(state.problem);
        Json::Value& due = entry["batches_due"] = Json::Value(Json::arrayValue);
        if (state.upgrade_date) {
            for (const Batch& batch : batches_from(*state.upgrade_date)) {
                Json::Value item(Json::objectValue);
                item["date"] = std::string(batch.date);
                item["statements"] = Json::UInt64(batch.fixed_statements);
                due.append(item);
            }
        }
        entry["up_to_date"] = up_to_date(state);
        entry["next_upgrade"] = next_upgrade(state);
        databases.append(entry);
    }

    const ScriptFolderState& scripts = status.procedure_scripts;
    Json::Value& folder = report["procedure_scripts"];
    folder["folder"] = json_text(scripts.folder);
    folder["scripts"] =
        scripts.scripts ? Json::Value(Json::UInt64(*scripts.scripts)) : Json::Value();
    if (!scripts.problem.empty()) folder["problem"] = json_text(scripts.problem);

    const PackageState& package = status.package;
    Json::Value& entry = report["package"];
    entry["path"] = json_text(package.path);
    entry["present"] = package.present;
    entry["bytes"] = Json::UInt64(package.bytes);
    entry["scripts"] = Json::UInt64(package.scripts);
    entry["for_ms"] = Json::UInt64(package.for_ms);
    entry["for_any5"] = Json::UInt64(package.for_any5);
    entry["applied"] = Json::UInt64(package.applied);
    entry["syntax_errors"] = Json::UInt64(package.syntax_errors);
    if (!package.problem.empty()) entry["problem"] = json_text(package.problem);
}

}  // namespace

int run_status(Transaction& sqlca, System& system, bool json, std::ostream& out,
               std::ostream& err) {
    TerminalUi ui(err);
    UpgradeWindow window(ui, system, sqlca);
    Json::Value report(Json::objectValue);
    report["command"] = "status";
    int exit_code = kFailure;
    if (open_and_connect(window, ui, report, err)) {
        const Status status = read_status(window);
        sqlca.disconnect();
        bool all_up_to_date = true;
        bool all_upgradable = true;
        for (const DatabaseState& state : status.databases) {
            all_up_to_date = all_up_to_date && up_to_date(state);
            all_upgradable = all_upgradable && upgradable(state);
        }
        exit_code = !all_upgradable ? kFailure : all_up_to_date ? kSuccess : kUpgradeDue;
        print_status(json ? err : out, status,
                     exit_code == kFailure ? "an upgrade cannot run"
                     : all_up_to_date      ? "up to date"
                                           : "upgrade due");
        add_status(report, status);
        report["up_to_date"] = all_up_to_date;
    }
    if (json) {
        report["exit_code"] = exit_code;
        print_json(out, report);
    }
    return exit_code;
}

int status_command(const Arguments& arguments) {
    return run_connected_command(arguments, run_status);
}

}  // namespace tessary::cli
