#include "package.h"

#include <utility>

#include "files.h"
#include "text.h"
#include "upgrade.h"

namespace tessary {
namespace package {
namespace {

bool contains(std::string_view text, std::string_view piece) {
    return text.find(piece) != std::string_view::npos;
}

std::string unchanged(const std::string& package_path) {
    return "，程序包 " + package_path + " 未更改。";
}

// Drops and creates one script's object in one transaction, whatever autocommit the
// handler found. Returns the database's error text when the creation (or its commit)
// failed; the pair is then rolled back, so the old object is still there.
std::optional<std::string> replace_object(Transaction& sqlca, const std::string& ls_drop,
                                          const std::string& ls_create) {
    const bool autocommit_found = sqlca.autocommit();
    if (autocommit_found) sqlca.set_autocommit(false);

    // Only the creation's outcome counts: a drop fails where the object is new.
    sqlca.execute_immediate(ls_drop);
    sqlca.execute_immediate(ls_create);
    std::optional<std::string> error;
    if (sqlca.sqlcode() != Transaction::kSuccess) {
        error = sqlca.sqlerrtext();
    } else {
        sqlca.commit();
        if (sqlca.sqlcode() != Transaction::kSuccess) error = sqlca.sqlerrtext();
    }
    if (error) sqlca.rollback();

    if (autocommit_found) sqlca.set_autocommit(true);
    return error;
}

}  // namespace

std::string record(std::string_view name, std::string_view text) {
    std::string out;
    out.reserve(kNameHead.size() + name.size() + kBodyHead.size() + text.size() + kBodyEnd.size());
    out.append(kNameHead).append(name).append(kBodyHead);
    out.append(text.rbegin(), text.rend());
    out.append(kBodyEnd);
    return out;
}

std::optional<std::string> record_problem(std::string_view name, std::string_view text) {
    const char* fault = nullptr;
    if (contains(name, kBodyEnd)) {
        fault = "名称含有标记 ####";
    } else if (contains(name, kBodyHead)) {
        fault = "名称含有标记 ^^^^";
    } else if (!name.empty() && name.back() == '^') {
        fault = "名称以 ^ 结尾，会与其后的标记 ^^^^ 相连";
    } else if (contains(text, kBodyEnd)) {
        fault = "内容含有标记 ####";
    } else if (!text.empty() && text.front() == '#') {
        fault = "内容以 # 开头，倒序后会与其后的标记 #### 相连";
    }
    if (fault == nullptr) return std::nullopt;
    return "脚本 " + std::string(name) + " 的" + fault + "，不能打包";
}

std::string Record::text() const {
    return text::reverse_bytes(body);
}

std::optional<Record> Reader::fail(Problem problem) {
    problem_ = problem;
    return std::nullopt;
}

std::optional<Record> Reader::next() {
    if (finished_ || problem_) return std::nullopt;
    const std::string_view rest = package_.substr(at_);
    if (rest == kPackageEnd) {
        finished_ = true;
        return std::nullopt;
    }
    if (rest.substr(0, kPackageEnd.size()) == kPackageEnd) return fail(Problem::kTrailingBytes);
    if (rest.size() < kPackageEnd.size() && kPackageEnd.substr(0, rest.size()) == rest) {
        return fail(Problem::kCutShort);
    }
    const std::size_t end = rest.find(kBodyEnd);
    if (end == std::string_view::npos) return fail(Problem::kNoBodyEnd);
    const std::string_view whole = rest.substr(0, end);
    if (whole.substr(0, kNameHead.size()) != kNameHead) return fail(Problem::kNoNameHead);
    const std::size_t head = whole.find(kBodyHead, kNameHead.size());
    if (head == std::string_view::npos) return fail(Problem::kNoBodyHead);

    at_ += end + kBodyEnd.size();
    return Record{whole.substr(kNameHead.size(), head - kNameHead.size()),
                  whole.substr(head + kBodyHead.size())};
}

std::string Reader::problem_text() const {
    if (!problem_) return {};
    const std::string byte = std::to_string(at_ + 1);
    switch (*problem_) {
        case Problem::kCutShort:
            if (package_.empty()) return "文件为空，没有结束标记 @@@@";
            return "文件在第 " + std::to_string(package_.size()) + " 字节后中断，缺少结束标记 @@@@";
        case Problem::kTrailingBytes:
            return "结束标记 @@@@ 之后还有 " +
                   std::to_string(package_.size() - at_ - kPackageEnd.size()) + " 字节";
        case Problem::kNoNameHead:
            return "第 " + byte + " 字节处不是记录的开始标记 $$$$$$";
        case Problem::kNoBodyHead:
            return "从第 " + byte + " 字节起的记录没有标记 ^^^^";
        case Problem::kNoBodyEnd:
            return "从第 " + byte + " 字节起的记录没有结束标记 ####（文件不完整或已被改动）";
    }
    return {};
}

std::string malformed_message(const Reader& reader, const std::string& last_applied) {
    return "db.dat 格式错误：" + reader.problem_text() + "。最后应用的脚本：" +
           (last_applied.empty() ? std::string("无") : last_applied) + "，其后的脚本未应用。";
}

bool engine_applies(std::string_view dbms, std::string_view name) {
    return contains(name, text::upper(dbms) == "ODBC" ? "ANY5" : "MS");
}

PackOutcome pack_folder(System& system, const std::string& folder,
                        const std::string& package_path) {
    PackOutcome outcome;
    auto listed = files::list_files(system, folder, "*.sql");
    if (!listed) {
        outcome.error =
            "不能读取脚本目录 " + folder + "：" + listed.error + unchanged(package_path);
        return outcome;
    }
    outcome.scripts = std::move(*listed);

    const auto out = system.replace_file(package_path);
    const auto cannot_write = [&] {
        return "不能写入程序包：" + out->error() + unchanged(package_path);
    };
    if (!out->error().empty()) {
        outcome.error = cannot_write();
        return outcome;
    }
    for (const std::string& ls_file : outcome.scripts) {
        const auto ls_source = system.read_file(system.join(folder, ls_file));
        if (!ls_source) {
            outcome.error =
                "不能读取脚本 " + ls_file + "：" + ls_source.error + unchanged(package_path);
            return outcome;
        }
        if (auto problem = record_problem(ls_file, *ls_source)) {
            outcome.error = *problem + unchanged(package_path);
            return outcome;
        }
        out->write(record(ls_file, *ls_source));
    }
    out->write(kPackageEnd);
    if (!out->finish()) outcome.error = cannot_write();
    return outcome;
}

Contents read_contents(std::string_view package, std::string_view dbms) {
    Contents contents;
    Reader reader(package);
    std::string last_applied;
    while (auto next = reader.next()) {
        Entry entry{std::string(next->name), next->text(), engine_applies(dbms, next->name), false};
        std::string ls_create = entry.text, ls_drop;
        entry.syntax_ok = wf_get_sql_go(ls_create, ls_drop);
        if (entry.engine_applies && entry.syntax_ok) last_applied = entry.name;
        contents.entries.push_back(std::move(entry));
    }
    if (!reader.finished()) contents.error = malformed_message(reader, last_applied);
    return contents;
}

ApplyOutcome apply_package(UpgradeWindow& w, const std::string& package_path) {
    Ui& ui = w.ui();
    Transaction& sqlca = w.sqlca();
    const WaitCursor hourglass(ui);

    if (!w.system().exists(package_path)) {
        ui.message_box(gs_appname, kUpgradeIncompleteText);
        return ApplyOutcome::kMissing;
    }
    const auto ls_source = w.system().read_file(package_path);
    if (!ls_source) {
        ui.message_box(gs_appname,
                       "不能读取 " + package_path + "：" + ls_source.error + "，升级操作被中断。");
        return ApplyOutcome::kUnreadable;
    }

    Reader reader(*ls_source);
    std::string last_applied;
    while (auto next = reader.next()) {
        const std::string ls_file(next->name);
        if (!engine_applies(sqlca.settings().dbms, ls_file)) continue;

        std::string ls_create = next->text(), ls_drop;
        if (!wf_get_sql_go(ls_create, ls_drop)) {
            ui.message_box(gs_appname, ls_file + " 语法错误！");
            continue;
        }
        if (auto error = replace_object(sqlca, ls_drop, ls_create)) {
            ui.message_box(ls_file, *error);
            ui.beep(1);
            ui.message_box(gs_appname, "更新失败！(错误信息：" + *error + ")");
            return ApplyOutcome::kFailed;
        }
        last_applied = ls_file;
    }
    if (!reader.finished()) {
        ui.message_box(gs_appname, malformed_message(reader, last_applied));
        return ApplyOutcome::kMalformed;
    }
    ui.message_box(gs_appname, "更新成功！");
    return ApplyOutcome::kApplied;
}

}  // namespace package

void cb_get_clicked(UpgradeWindow& w) {
    Ui& ui = w.ui();
    const WaitCursor hourglass(ui);
    const package::PackOutcome outcome = package::pack_folder(
        w.system(), w.system().maintainers_script_folder(), w.is_runpath + package::kFileName);
    ui.show_file_list(outcome.scripts);
    if (!outcome.error.empty()) ui.message_box(gs_appname, outcome.error);
}

void cb_put_clicked(UpgradeWindow& w) {
    const auto outcome = package::apply_package(w, w.is_runpath + package::kFileName);
    if (outcome != package::ApplyOutcome::kApplied) w.ib_package_incomplete = true;
}

}  // namespace tessary
