#include <string>
#include <vector>

#include "files.h"
#include "text.h"
#include "upgrade.h"
#include "window.h"

namespace tessary {
namespace {

bool is_go_line(const std::string& line) {
    return line.size() == 2 && text::upper(line) == "GO";
}

// Where the last occurrence of a word in a text begins, counted from the text's end: the
// number of bytes from the word's first byte to the end. Takes the text and the word both
// reversed; npos when the word does not occur.
std::size_t from_end(const std::string& backwards, std::string_view word_backwards) {
    const std::size_t at = backwards.find(word_backwards);
    return at == std::string::npos ? std::string::npos : at + word_backwards.size();
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
    if (!w.script_folder_override.empty()) return system.join(w.script_folder_override, "");
    const auto path = system.registry_string(kStoreRegistryKey, "PATH");
    if (!path || text::trim_blanks(*path).empty()) return {};
    const char separator = system.path_separator();
    return *path + separator + "32k" + separator;
}

void wf_exec_sql(UpgradeWindow& w) {
    Ui& ui = w.ui();
    System& system = w.system();
    const std::string ls_sql_dir = procedure_script_folder(w);
    if (ls_sql_dir.empty()) {
        ui.insert_progress_line(std::string("注册表 ") + kStoreRegistryKeyShown +
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
    // Positions below are 0-based offsets; the comments give the 1-based ones of the steps.
    const std::string ls_source(text::trim_blanks(as_create));
    std::string ls_tmp = text::lower(std::string_view(ls_source).substr(0, 200));

    const std::size_t create_at = ls_tmp.find("create ");  // li_pos - 1
    if (create_at == std::string::npos) return false;
    as_create = ls_source.substr(create_at);

    const std::size_t begin_at = text::lower(as_create).find("begin");  // li_pos_begin - 1
    if (begin_at == std::string::npos) return false;
    const std::string ls_encryption = as_create.substr(0, begin_at);

    // The header is lower-cased before it is reversed, so that double-byte characters are
    // still whole when their letters are left alone.
    const std::string backwards = text::reverse_bytes(text::lower(ls_encryption));
    const std::size_t li_pos_as = from_end(backwards, "sa");
    if (li_pos_as == std::string::npos) return false;
    const std::size_t li_pos_for = from_end(backwards, "rof");

    // Trigger headers name their events after "for"; procedure headers end in "as".
    const std::size_t keep = li_pos_for != std::string::npos ? li_pos_for : li_pos_as;
    const std::size_t split = ls_encryption.size() - keep;
    as_create = ls_encryption.substr(0, split) + " with ENCRYPTION " + ls_encryption.substr(split) +
                as_create.substr(begin_at);

    // The drop statement ends at the first line break followed by "go" before "create ".
    ls_tmp.resize(create_at);
    const std::size_t drop_length = ls_tmp.find("\r\ngo");  // li_pos
    if (drop_length == std::string::npos || drop_length < 1) return false;
    as_drop = ls_source.substr(0, drop_length);
    return true;
}

}  // namespace tessary
