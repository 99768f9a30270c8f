#include "status.h"

#include "files.h"
#include "package.h"
#include "statements.h"
#include "window.h"

namespace tessary {

DatabaseState read_database_state(Transaction& sqlca, const std::string& database) {
    DatabaseState state;
    state.name = database;
    sqlca.execute_immediate(statements::use_database(database));
    if (sqlca.sqlcode() != Transaction::kSuccess) {
        state.problem = sqlca.sqlerrtext();
        return state;
    }
    std::optional<std::string> upgrade_date = std::string();
    sqlca.select_into(std::string(statements::select_upgrade_date), upgrade_date);
    if (sqlca.sqlcode() != Transaction::kSuccess) {
        state.problem = sqlca.sqlerrtext();
        return state;
    }
    state.upgrade_date = upgrade_date.value_or(std::string());
    sqlca.select_into(std::string(statements::select_database_version), state.version);
    if (sqlca.sqlcode() == Transaction::kError) state.problem = sqlca.sqlerrtext();
    return state;
}

namespace {

ScriptFolderState procedure_scripts(UpgradeWindow& w) {
    ScriptFolderState state;
    state.folder = procedure_script_folder(w);
    if (state.folder.empty()) return state;
    const auto listed = files::list_files(w.system(), state.folder, "*.sql");
    if (listed) {
        state.scripts = listed->size();
    } else {
        state.problem = listed.error;
    }
    return state;
}

PackageState package_state(UpgradeWindow& w) {
    PackageState state;
    state.path = w.is_runpath + package::kFileName;
    state.present = w.system().exists(state.path);
    if (!state.present) return state;
    const auto package = w.system().open_file(state.path);
    if (!package->error().empty()) {
        state.problem = package->error();
        return state;
    }
    const package::Plan plan = package::plan_package(*package, w.sqlca().settings().dbms);
    state.problem = plan.error;
    if (plan.unreadable) return state;
    state.readable = true;
    state.bytes = package->size();
    for (const package::PlannedScript& script : plan.scripts) {
        const std::string& name = script.record.name;
        ++state.scripts;
        if (package::engine_applies("MSS", name)) ++state.for_ms;
        if (package::engine_applies("ODBC", name)) ++state.for_any5;
        if (script.engine_applies) ++(script.cut.splits() ? state.applied : state.syntax_errors);
    }
    return state;
}

}  // namespace

Status read_status(UpgradeWindow& w) {
    Status status;
    status.databases.push_back(read_database_state(w.sqlca(), w.sqlca().settings().database));
    if (w.ib_sorvanth) status.databases.push_back(read_database_state(w.sqlca(), w.is_sorvanth));
    status.procedure_scripts = procedure_scripts(w);
    status.package = package_state(w);
    return status;
}

}  // namespace tessary
