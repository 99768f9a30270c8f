#include <string>
#include <vector>

#include "files.h"
#include "script_cut.h"
#include "text.h"
#include "upgrade.h"
#include "window.h"

namespace tessary {
namespace {

bool is_go_line(const std::string& line) {
    return line.size() == 2 && text::upper(line) == "GO";
}

}  // namespace

std::vector<std::string> script_batches(const std::vector<std::string>& lines) {
    std::vector<std::string> batches;
    std::string batch;
    for (const std::string& line : lines) {
        if (is_go_line(line)) {
            batches.push_back(std::move(batch));
            batch.clear();
        } else {
            batch += '\n';
            batch += line;
        }
    }
    // Text after the last GO line is the script's own last batch, not the start of the
    // next script's first one.
    if (!text::is_blank(batch)) batches.push_back(std::move(batch));
    return batches;
}

// "32k" under the store software's installation folder, which the registry value PATH names.
std::string procedure_script_folder(UpgradeWindow& w) {
    System& system = w.system();
    if (w.script_folder_override) {
        return w.script_folder_override->empty() ? std::string()
                                                 : system.join(*w.script_folder_override, "");
    }
    const auto path = system.registry_string(kStoreRegistryKey, "PATH");
    if (!path || text::trim_blanks(*path).empty()) return {};
    return system.join(system.join(*path, "32k"), "");
}

void wf_exec_sql(UpgradeWindow& w) {
    Ui& ui = w.ui();
    System& system = w.system();
    const std::string ls_sql_dir = procedure_script_folder(w);
    if (ls_sql_dir.empty()) {
        ui.insert_progress_line(w.script_folder_override
                                    ? std::string("没有给出脚本目录，存储过程和触发器未重建")
                                    : std::string("注册表 ") + kStoreRegistryKeyShown +
                                          " 中缺少 PATH 的值，存储过程和触发器未重建");
        return;
    }
    const auto listed = files::list_files(system, ls_sql_dir, "*.sql");
    if (!listed) {
        ui.insert_progress_line("不能读取脚本目录 " + ls_sql_dir + "：" + listed.error +
                                "，存储过程和触发器未重建");
        return;
    }
    ui.show_file_list(*listed);

    for (const std::string& ls_file : *listed) {
        w.step = "存储过程重建 " + ls_file;
        ui.insert_progress_line(ls_file);
        const auto lines = files::read_lines(system, system.join(ls_sql_dir, ls_file));
        if (!lines) {
            ui.insert_progress_line(ls_file + " 不能读取：" + lines.error);
            continue;
        }
        for (const std::string& batch : script_batches(*lines)) w.sqlca().execute_immediate(batch);
        ui.insert_progress_line(ls_file + "完成");
    }
    ui.message_box(kNoticeTitle, "存储过程重建成功");
}

bool wf_get_sql_go(std::string& as_create, std::string& as_drop) {
    files::BytesReader script(as_create);
    const ScriptCut cut = *cut_script(script);  // bytes in memory always read
    if (!cut.create) return false;
    // As the steps go, the creation text is changed before the checks after "create " are
    // done: from "create " on when the header is incomplete, rewritten when only the drop
    // statement is missing.
    std::string create, drop;
    if (cut.header) {
        ScriptStatements statements = *script_statements(script, cut);
        create = std::move(statements.create);
        drop = std::move(statements.drop);
    } else {
        // Offsets into a text in memory fit its size type.
        create = as_create.substr(static_cast<std::size_t>(cut.create_at),
                                  static_cast<std::size_t>(cut.end - cut.create_at));
    }
    as_create = std::move(create);
    if (!cut.splits()) return false;
    as_drop = std::move(drop);
    return true;
}

}  // namespace tessary
