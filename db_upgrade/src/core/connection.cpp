#include <string>
#include <vector>

#include "registry_values.h"
#include "statements.h"
#include "window.h"

namespace tessary {
namespace {

bool blank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

void report_connect_failure(Ui& ui, const std::string& reason) {
    ui.beep(1);
    ui.message_box(gs_appname, "不能连接到数据库！(错误信息：" + reason + ")");
}

// Names of the registry values the connection cannot do without that are missing or blank. A
// connection given whole takes no server name.
std::string missing_values(const Transaction& sqlca) {
    const Transaction::Settings& settings = sqlca.settings();
    std::vector<const char*> missing;
    if (blank(settings.database)) missing.push_back("DATABASE");
    if (sqlca.takes_server_name() && blank(settings.server_name)) missing.push_back("SERVERNAME");
    std::string names;
    for (const char* name : missing) {
        if (!names.empty()) names += "、";
        names += name;
    }
    return names;
}

// What is wrong with a registry value the connection takes, naming the value (GBK); empty
// when nothing is.
std::string value_problem(const Transaction& sqlca) {
    const Transaction::Settings& settings = sqlca.settings();
    const std::string in_key = std::string("注册表 ") + kStoreRegistryKeyShown + " 中 ";
    if (auto fault = connection_value_fault(settings.database)) {
        return in_key + "DATABASE 的值" + *fault;
    }
    if (!sqlca.takes_server_name()) return {};
    if (auto fault = connection_value_fault(settings.server_name)) {
        return in_key + "SERVERNAME 的值" + *fault;
    }
    if (auto fault = server_port_fault(settings.server_name))
        return in_key + "SERVERNAME 的" + *fault;
    return {};
}

}  // namespace

bool wf_connect_db(UpgradeWindow& w) {
    System& system = w.system();
    Transaction& sqlca = w.sqlca();
    Transaction::Settings& settings = sqlca.settings();

    settings.dbms = "MSS";
    if (auto database = system.registry_string(kStoreRegistryKey, "DATABASE")) {
        settings.database = *database;
    }
    settings.log_pass = "tqzvbno";
    if (auto server = system.registry_string(kStoreRegistryKey, "SERVERNAME")) {
        settings.server_name = *server;
    }
    settings.log_id = "korvane";
    sqlca.set_autocommit(false);
    settings.dbparm = "";
    settings.lock = "RU";
    sqlca.set_autocommit(true);

    // Without both values a connection attempt can only fail with a misleading driver
    // message, so say which value is missing instead, and where the registry was looked
    // for when it is not there at all.
    const std::string missing = missing_values(sqlca);
    if (!missing.empty()) {
        const std::string registry = system.registry_problem();
        report_connect_failure(
            w.ui(), std::string("注册表 ") + kStoreRegistryKeyShown + " 中缺少 " + missing +
                        " 的值" + (registry.empty() ? std::string() : "（" + registry + "）"));
        return false;
    }
    // A value that the client cannot take whole would change the connection: refuse it.
    const std::string problem = value_problem(sqlca);
    if (!problem.empty()) {
        report_connect_failure(w.ui(), problem);
        return false;
    }

    sqlca.connect();
    if (sqlca.sqlcode() != Transaction::kSuccess) {
        report_connect_failure(w.ui(), sqlca.sqlerrtext());
        return false;
    }

    const std::string ls_database = settings.database;
    sqlca.execute_immediate("use master");

    std::optional<std::string> ls_sorvanth = w.is_sorvanth;
    sqlca.select_into(std::string(statements::select_second_database), ls_sorvanth);
    w.is_sorvanth = ls_sorvanth.value_or(std::string());
    w.ib_sorvanth = !blank(w.is_sorvanth);

    // The upgrade must not run in master: a store database that cannot be selected is a
    // failed connection, not a success.
    sqlca.execute_immediate(statements::use_database(ls_database));
    if (sqlca.sqlcode() != Transaction::kSuccess) {
        report_connect_failure(w.ui(), sqlca.sqlerrtext());
        return false;
    }
    return true;
}

}  // namespace tessary
