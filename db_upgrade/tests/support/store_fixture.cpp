#include "store_fixture.h"

#include <stdexcept>

#include "core/statements.h"

namespace tessary::testing {
namespace {

using Row = SqlServerDouble::Row;

Row text_row(std::initializer_list<const char*> values) {
    Row row;
    for (const char* value : values) {
        if (value == nullptr) {
            row.emplace_back();
        } else {
            row.emplace_back(value);
        }
    }
    return row;
}

}  // namespace

SqlServerDouble::Database store_database(const std::string& name,
                                         std::optional<std::string> upgrade_date,
                                         std::string version) {
    SqlServerDouble::Database database{name, {}, {}, {}};
    const auto add = [&](SqlServerDouble::Table table) {
        database.tables[table.name] = std::move(table);
    };

    auto system = make_table("t_sys_system",
                             {"sys_var_id", "sys_var_name", "sys_var_value", "sys_var_flag",
                              "sys_var_desc", "sys_var_type", "sys_var_min", "sys_var_max"},
                             {"sys_var_id"});
    system.rows.push_back(text_row({"DataBase_Version", "DataBase_Version", version.c_str(), "是",
                                    "", nullptr, nullptr, nullptr}));
    if (upgrade_date) {
        system.rows.push_back(text_row({"UPGRADE_DATE", "UPGRADE_DATE", upgrade_date->c_str(), "是",
                                        "", nullptr, nullptr, nullptr}));
    }
    add(std::move(system));

    auto menu =
        make_table("t_sys_menu",
                   {"menu_id", "menu_name", "menu_code", "menu_type", "open_type", "open_parameter",
                    "branch_flag", "normal_flag", "flag1", "flag2", "flag3", "memo"},
                   {"menu_id"});
    menu.rows.push_back(text_row(
        {"0100", "基础资料", "", "MENU", "S", nullptr, "110000", "0", "0", "0", "0", nullptr}));
    menu.rows.push_back(text_row({"0101", "商品档案", "w_bd_item", "EDIT", "S", nullptr, "110000",
                                  "0", "0", "0", "0", nullptr}));
    menu.rows.push_back(
        text_row({"0102", "-", "", "LINE", "S", nullptr, "110000", "0", "0", "0", "0", nullptr}));
    menu.rows.push_back(text_row({"0103", "门店档案", "w_bd_branch", "EDIT", "S", nullptr, "110000",
                                  "0", "0", "0", "0", nullptr}));
    menu.rows.push_back(text_row(
        {"E001", "导出", "w_export", "OTHR", "S", nullptr, "110000", "0", "0", "0", "0", nullptr}));
    add(std::move(menu));

    auto grants = make_table("t_sys_oper_grant",
                             {"oper_id", "func_id", "grant0", "grant1", "grant2", "grant3",
                              "grant4", "grant5", "grant6", "grant7", "grant8", "grant9", "other"},
                             {"oper_id", "func_id"});
    grants.rows.push_back(
        text_row({"1001", "0101", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", ""}));
    grants.rows.push_back(
        text_row({"1002", "0101", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", ""}));
    add(std::move(grants));

    auto payments = make_table("t_bd_payment_info",
                               {"pay_way", "pay_flag", "pay_name", "pay_rate", "pay_order",
                                "pay_memo", "pay_status", "pay_owner"},
                               {"pay_way"});
    payments.rows.push_back(text_row({"RMB", "0", "人民币", "1", "0", nullptr, "1", "系统默认"}));
    add(std::move(payments));

    add(make_table("t_rm_saleflow", {"flow_no", "flow_id", "item_no", "sale_qty", "sale_money"},
                   {"flow_no", "flow_id"}));
    add(make_table("t_sys_operator", {"oper_id", "oper_name", "oper_pw"}, {"oper_id"}));
    add(make_table("t_pc_branch_price", {"branch_no", "item_no", "sale_price"},
                   {"branch_no", "item_no"}));
    add(make_table("t_bd_branch_info", {"branch_no", "branch_name"}, {"branch_no"}));
    add(make_table("mess_t_vip_message", {"flow_id", "card_id", "mess"}, {"flow_id"}));
    add(make_table("t_rm_vip_info", {"card_id", "vip_name", "mobile"}, {"card_id"}));
    add(make_table("t_rm_vip_savelist", {"flow_no", "card_id", "save_amt"}, {"flow_no"}));
    add(make_table("t_bd_item_info", {"item_no", "item_name", "price"}, {"item_no"}));
    add(make_table("t_rm_vip_type", {"type_no", "type_name"}, {"type_no"}));
    add(make_table("t_rm_vip_good", {"card_type", "item_no"}, {"card_type", "item_no"}));
    add(make_table("t_rm_gift_certificate", {"giftcert_no", "gift_money"}, {"giftcert_no"}));
    add(make_table("t_rm_vip_acclist", {"flow_no", "card_id", "acc_num"}, {"flow_no"}));
    add(make_table("t_rm_gift_cls", {"gift_clsno", "gift_clsname"}, {"gift_clsno"}));
    add(make_table("t_rm_saleman", {"saleman_id", "saleman_name"}, {"saleman_id"}));
    return database;
}

std::unique_ptr<SqlServerDouble> session_holding_run_lock(SqlServerDouble& server,
                                                          const std::string& database) {
    auto session = server.open_session();
    Transaction::Settings& settings = session->settings();
    settings.server_name = "storesrv";
    settings.database = database;
    settings.log_id = SqlServerDouble::kLogin;
    settings.log_pass = SqlServerDouble::kPassword;
    session->connect();
    std::optional<std::string> result;
    session->select_into(std::string(statements::take_run_lock), result);
    if (result != std::string("0")) throw std::runtime_error("the run lock was not granted");
    return session;
}

std::optional<std::string> system_value(const SqlServerDouble::Database& database,
                                        const std::string& sys_var_id) {
    const auto* table = database.table("t_sys_system");
    if (table == nullptr) return std::nullopt;
    const auto id = static_cast<std::size_t>(table->column("sys_var_id"));
    const auto value = static_cast<std::size_t>(table->column("sys_var_value"));
    for (const auto& row : table->rows) {
        if (row[id] == sys_var_id) return row[value];
    }
    return std::nullopt;
}

}  // namespace tessary::testing
