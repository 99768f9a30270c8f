#include "package.h"

#include <utility>

#include "file_names.h"
#include "files.h"
#include "text.h"
#include "upgrade.h"
#include "window.h"

namespace tessary {
namespace package {
namespace {

std::string unchanged(const std::string& package_path) {
    return "，程序包 " + package_path + " 未更改。";
}

// Drops and creates one script's object in one transaction, whatever autocommit the
// handler found. Returns the database's error text when the creation (or its commit)
// failed; the pair is then rolled back, so the old object is still there.
std::optional<std::string> replace_object(Transaction& sqlca, const std::string& drop,
                                          const std::string& create) {
    const bool autocommit_found = sqlca.autocommit();
    if (autocommit_found) sqlca.set_autocommit(false);

    // Only the creation's outcome counts: a drop fails where the object is new.
    sqlca.execute_immediate(drop);
    sqlca.execute_immediate(create);
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

// The applier's message for a package that stops at `reader`'s problem.
std::string malformed_message(const Reader& reader, const std::string& last_applied) {
    return "db.dat 格式错误：" + reader.problem_text() + "。最后应用的脚本：" +
           (last_applied.empty() ? std::string("无") : last_applied) + "，其后的脚本未应用。";
}

}  // namespace

bool engine_applies(std::string_view dbms, std::string_view name) {
    return name.find(text::upper(dbms) == "ODBC" ? "ANY5" : "MS") != std::string_view::npos;
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
    // The names are checked before anything is written.
    for (const std::string& name : outcome.scripts) {
        if (auto fault = files::windows_name_problem(name)) {
            outcome.error = "脚本 " + text::one_line(name) + " 的名称" + *fault + "，不能打包" +
                            unchanged(package_path);
            return outcome;
        }
    }
    if (auto same = files::same_file_on_windows(outcome.scripts)) {
        outcome.error = "脚本 " + same->first + " 和 " + same->second +
                        " 的名称只差字母的大小写，在 Windows 上是同一个文件，不能打包" +
                        unchanged(package_path);
        return outcome;
    }
    if (auto fault = system.too_long_to_replace(package_path)) {
        outcome.error = "程序包 " + package_path + " 的" + *fault + "，不能写入。";
        return outcome;
    }

    const auto out = system.replace_file(package_path);
    const auto cannot_write = [&] {
        return "不能写入程序包：" + out->error() + unchanged(package_path);
    };
    if (!out->error().empty()) {
        outcome.error = cannot_write();
        return outcome;
    }
    for (const std::string& name : outcome.scripts) {
        const auto script = system.open_file(system.join(folder, name));
        if (!script->error().empty()) {
            outcome.error =
                "不能读取脚本 " + name + "：" + script->error() + unchanged(package_path);
            return outcome;
        }
        if (auto problem = write_record(name, *script, *out)) {
            outcome.error = *problem + unchanged(package_path);
            return outcome;
        }
        if (!out->error().empty()) {
            outcome.error = cannot_write();
            return outcome;
        }
        const auto cut = cut_script(*script);
        if (cut && !cut->splits()) outcome.wrong_shape.push_back(name);
    }
    out->write(kPackageEnd);
    if (!out->finish()) outcome.error = cannot_write();
    return outcome;
}

Plan plan_package(FileReader& package, std::string_view dbms) {
    Plan plan;
    Reader reader(package);
    std::string last_applied;
    while (auto next = reader.next()) {
        PlannedScript script{std::move(*next), false, {}};
        script.engine_applies = engine_applies(dbms, script.record.name);
        RecordText text(package, script.record);
        const auto cut = cut_script(text);
        if (!cut) {
            plan.unreadable = true;
            plan.error = package.error();
            return plan;
        }
        script.cut = *cut;
        if (script.engine_applies && script.cut.splits()) last_applied = script.record.name;
        plan.scripts.push_back(std::move(script));
    }
    if (reader.problem() == Problem::kUnreadable) {
        plan.unreadable = true;
        plan.error = package.error();
    } else if (!reader.finished()) {
        plan.error = malformed_message(reader, last_applied);
    }
    return plan;
}

ApplyOutcome apply_package(UpgradeWindow& w, const std::string& package_path) {
    Ui& ui = w.ui();
    Transaction& sqlca = w.sqlca();
    const WaitCursor hourglass(ui);

    if (!w.system().exists(package_path)) {
        ui.message_box(gs_appname, kUpgradeIncompleteText);
        return ApplyOutcome::kMissing;
    }
    const auto cannot_read = [&](const std::string& reason) {
        ui.message_box(gs_appname,
                       "不能读取 " + package_path + "：" + reason + "，升级操作被中断。");
        return ApplyOutcome::kUnreadable;
    };
    const auto package = w.system().open_file(package_path);
    if (!package->error().empty()) return cannot_read(package->error());

    const Plan plan = plan_package(*package, sqlca.settings().dbms);
    if (plan.unreadable) return cannot_read(plan.error);
    for (const PlannedScript& script : plan.scripts) {
        if (!script.engine_applies) continue;
        const std::string& name = script.record.name;
        w.step = "程序包 db.dat 的脚本 " + name;
        if (!script.cut.splits()) {
            ui.message_box(gs_appname, name + " 语法错误！");
            continue;
        }
        RecordText text(*package, script.record);
        const auto statements = script_statements(text, script.cut);
        if (!statements) return cannot_read(package->error());
        if (auto error = replace_object(sqlca, statements->drop, statements->create)) {
            ui.message_box(name, *error);
            ui.beep(1);
            ui.message_box(gs_appname, "更新失败！(错误信息：" + *error + ")");
            return ApplyOutcome::kFailed;
        }
    }
    // The plan names the last script applied; the scripts before the problem are applied
    // first, as the applier takes them from the front.
    if (!plan.error.empty()) {
        ui.message_box(gs_appname, plan.error);
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
    w.package_outcome = package::apply_package(w, w.is_runpath + package::kFileName);
}

}  // namespace tessary
