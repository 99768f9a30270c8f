#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sql_server_double.h"

namespace tessary::testing {

// A store database as the store software leaves it before any upgrade: the tables the
// batches and the catalogue change or fill, with a few rows in t_sys_system, t_sys_menu,
// t_sys_oper_grant and t_bd_payment_info. `upgrade_date` is the recorded 'UPGRADE_DATE'
// (no row when nullopt); the version row holds `version`.
SqlServerDouble::Database store_database(const std::string& name,
                                         std::optional<std::string> upgrade_date,
                                         std::string version = "V8 20130601");

// Another program's session on `server`, logged in to `database` as the program logs in,
// holding the upgrade's run lock.
std::unique_ptr<SqlServerDouble> session_holding_run_lock(SqlServerDouble& server,
                                                          const std::string& database);

// The value of a t_sys_system row, nullopt when the row is missing.
std::optional<std::string> system_value(const SqlServerDouble::Database& database,
                                        const std::string& sys_var_id);

}  // namespace tessary::testing
