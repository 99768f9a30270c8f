#include "upgrade.h"

#include <optional>
#include <string>

#include "run_log.h"
#include "statements.h"
#include "window.h"

namespace tessary {

const char* const kUpgradeIncompleteText = "数据库升级程序不全，升级操作被中断。";
const char* const kNoticeTitle = "提示";
namespace {

const char* const kAnotherUpgradeRunning = "另一个升级正在进行，请稍后再试";

std::string batch_step(std::string_view date) {
    return "批次 " + std::string(date);
}

void batch_00000000(UpgradeWindow& w) {
    execute_each_with_commit(w.sqlca(), statements::batch_00000000);
}
void batch_20140722(UpgradeWindow& w) {
    execute_each_with_commit(w.sqlca(), statements::batch_20140722);
}
void batch_20150825(UpgradeWindow& w) {
    execute_each_with_commit(w.sqlca(), statements::batch_20150825);
}

// Records no date, so it runs again on every upgrade. The grant insert carries its own
// COMMIT.
void batch_20200117(UpgradeWindow& w) {
    execute_each_with_commit(w.sqlca(), statements::batch_20200117_menus);
    wf_create_table_200327(w);
    w.step = batch_step("20200117");
    execute_each_with_commit(w.sqlca(), statements::batch_20200117_version);
    wf_exec_sql(w);
    w.step = batch_step("20200117");
    for (std::string_view statement : statements::batch_20200117_grant) {
        w.sqlca().execute_immediate(std::string(statement));
    }
}

struct Gate {
    const char* date;
    void (*run)(UpgradeWindow&);
    std::size_t (*fixed_statements)();
};

// In the order the batches run: a database starts at the gate of its recorded date and
// goes through every later one.
const Gate kGates[] = {
    {"00000000", batch_00000000, [] { return statements::batch_00000000.size(); }},
    {"20140722", batch_20140722, [] { return statements::batch_20140722.size(); }},
    {"20150825", batch_20150825, [] { return statements::batch_20150825.size(); }},
    {"20200117", batch_20200117,
     [] {
         return statements::batch_20200117_menus.size() + statements::catalogue_200327.size() +
                statements::batch_20200117_version.size() + statements::batch_20200117_grant.size();
     }},
};
constexpr std::size_t kGateCount = sizeof kGates / sizeof kGates[0];

std::size_t gate_index(std::string_view upgrade_date) {
    for (std::size_t i = 0; i < kGateCount; ++i) {
        if (upgrade_date == kGates[i].date) return i;
    }
    return kGateCount;
}

std::optional<std::string> select_upgrade_date(Transaction& sqlca) {
    std::optional<std::string> upgrade_date = std::string();
    sqlca.select_into(std::string(statements::select_upgrade_date), upgrade_date);
    return upgrade_date;
}

// The gate dates, as the run log lists them.
std::string listed_gate_dates() {
    std::string dates;
    for (const std::string_view date : gate_dates()) {
        dates += (dates.empty() ? "" : "、") + std::string(date);
    }
    return dates;
}

// One database: steps 1 to 8 of the run. Where the run shows kUpgradeIncompleteText, the log
// says which of its two causes it met.
void upgrade_current_database(UpgradeWindow& w, RunLog& log, const std::string& database) {
    Transaction& sqlca = w.sqlca();
    const WaitCursor wait_cursor(w.ui());
    DatabasePass& pass = w.last_run.passes.emplace_back();
    pass.database = database;

    w.step = "读取升级日期";
    const std::optional<std::string> upgrade_date = select_upgrade_date(sqlca);
    if (sqlca.sqlcode() == Transaction::kSuccess) pass.upgrade_date = upgrade_date;
    if (upgrade_date == std::string("00000000")) {
        sqlca.execute_immediate(std::string(statements::insert_upgrade_date));
        sqlca.commit();
    }
    wf_dbupgrade_2007(w);
    if (pass.batches_run.empty()) {
        log.note(std::string(kUpgradeIncompleteText) + "（数据库 " + database +
                 (pass.upgrade_date ? " 记录的升级日期 " + *pass.upgrade_date +
                                          " 不是本程序的升级日期 " + listed_gate_dates()
                                    : std::string(" 的升级日期读不出来")) +
                 "，批次未运行）");
    }

    w.step = "应用程序包 db.dat";
    sqlca.set_autocommit(true);
    if (w.ui().apply_package_checked()) {
        cb_put_clicked(w);
        pass.package = w.package_outcome;
        if (pass.package == package::ApplyOutcome::kMissing) {
            log.note(std::string(kUpgradeIncompleteText) + "（文件夹 " + w.is_runpath +
                     " 中没有程序包 " + package::kFileName + "，未应用）");
        }
    }
    w.step = "提交";
    sqlca.set_autocommit(false);
    sqlca.commit();
}

// Tells the user where the run stopped for a lost connection, and keeps it in the report.
void report_connection_lost(UpgradeWindow& w, LostConnection lost) {
    w.ui().beep(1);
    w.ui().message_box(
        gs_appname, "与数据库服务器的连接已断开，升级在数据库 " + lost.database + " 的“" +
                        lost.step + "”一步中断，其后的语句均未发送。(错误信息：" + lost.text + ")");
    w.last_run.connection_lost = std::move(lost);
}

// Takes the run lock. False, after telling the user, when another session holds it. A
// server that cannot grant it at all (no such procedure, no permission in master) gets
// the run as before the lock existed, with a line saying so.
bool take_run_lock(UpgradeWindow& w) {
    Transaction& sqlca = w.sqlca();
    RunReport& report = w.last_run;
    std::optional<std::string> result;
    sqlca.select_into(std::string(statements::take_run_lock), result);
    if (sqlca.link_lost()) {
        report_connection_lost(w, {sqlca.settings().database, "取得升级锁", sqlca.sqlerrtext()});
        return false;
    }
    const bool answered = sqlca.sqlcode() == Transaction::kSuccess;
    if (answered && result == std::string("-1")) {
        report.lock = RunLock::kRefused;
        w.ui().message_box(gs_appname, kAnotherUpgradeRunning);
        return false;
    }
    if (answered && (result == std::string("0") || result == std::string("1"))) {
        report.lock = RunLock::kHeld;
        return true;
    }
    report.lock = RunLock::kUnavailable;
    report.lock_problem =
        answered ? "sp_getapplock 的结果为 " + result.value_or("NULL") : sqlca.sqlerrtext();
    w.ui().insert_progress_line("不能取得升级锁（" + report.lock_problem +
                                "），升级在不加锁的情况下进行");
    return true;
}

// Gives the run lock back. One that cannot be given back goes with the connection.
void release_run_lock(UpgradeWindow& w) {
    if (w.last_run.lock != RunLock::kHeld) return;
    Transaction& sqlca = w.sqlca();
    std::optional<std::string> result;
    sqlca.select_into(std::string(statements::release_run_lock), result);
    if (sqlca.sqlcode() == Transaction::kSuccess && result == std::string("0")) return;
    const std::string problem = sqlca.sqlcode() == Transaction::kSuccess
                                    ? "sp_releaseapplock 的结果为 " + result.value_or("NULL")
                                    : sqlca.sqlerrtext();
    w.ui().insert_progress_line("不能释放升级锁（" + problem + "），断开连接时释放");
}

// Every statement of the run goes through the run log while the log is in place.
class RoutedThroughLog {
  public:
    RoutedThroughLog(UpgradeWindow& w, RunLog& log) : w_(w), previous_(w.route_sqlca(&log)) {}
    ~RoutedThroughLog() { w_.route_sqlca(previous_); }
    RoutedThroughLog(const RoutedThroughLog&) = delete;
    RoutedThroughLog& operator=(const RoutedThroughLog&) = delete;

  private:
    UpgradeWindow& w_;
    Transaction* previous_;
};

}  // namespace

void execute_each_with_commit(Transaction& sqlca, const statements::StatementList& list) {
    for (std::string_view statement : list) {
        sqlca.execute_immediate(std::string(statement));
        sqlca.commit();
    }
}

bool is_gate_date(std::string_view upgrade_date) {
    return gate_index(upgrade_date) < kGateCount;
}

std::vector<std::string_view> gate_dates() {
    std::vector<std::string_view> dates;
    for (const Gate& gate : kGates) dates.push_back(gate.date);
    return dates;
}

std::vector<Batch> batches_from(std::string_view upgrade_date) {
    std::vector<Batch> batches;
    for (std::size_t i = gate_index(upgrade_date); i < kGateCount; ++i) {
        batches.push_back({kGates[i].date, kGates[i].fixed_statements()});
    }
    return batches;
}

bool is_up_to_date(std::string_view upgrade_date) {
    return gate_index(upgrade_date) == kGateCount - 1;
}

void wf_dbupgrade_2007(UpgradeWindow& w) {
    const std::optional<std::string> ls_upgrade_date = select_upgrade_date(w.sqlca());
    const std::size_t first = ls_upgrade_date ? gate_index(*ls_upgrade_date) : kGateCount;
    if (first == kGateCount) {
        w.ui().message_box(kNoticeTitle, kUpgradeIncompleteText);
        return;
    }
    for (std::size_t i = first; i < kGateCount; ++i) {
        w.step = batch_step(kGates[i].date);
        kGates[i].run(w);
        if (!w.last_run.passes.empty())
            w.last_run.passes.back().batches_run.push_back(kGates[i].date);
    }
}

void cb_1_clicked(UpgradeWindow& w) {
    Ui& ui = w.ui();
    System& system = w.system();
    w.last_run = RunReport();
    // Another run on the server would interleave its statements with these.
    if (!take_run_lock(w)) {
        if (w.last_run.connection_lost) ui.set_upgrade_enabled(false);
        return;
    }

    // The log lies beside db.dat, in the working folder: a store user may write there, unlike
    // the folder of a program installed under Program Files.
    RunLog log(w.sqlca(), system, ui, RunLog::path_in(system, w.is_runpath));
    // A lost connection ends the run at the operation that found it: every later statement
    // would fail the same way, and a run that went on would end as if it had succeeded.
    try {
        RoutedThroughLog routed(w, log);
        const std::string database = w.sqlca().settings().database;
        log.begin_database(database);
        upgrade_current_database(w, log, database);
        if (w.ib_sorvanth) {
            w.step = "切换到数据库 " + w.is_sorvanth;
            w.sqlca().execute_immediate(statements::use_database(w.is_sorvanth));
            // A second pass after a failed switch would upgrade the first database again
            // while the second one is left as it was.
            if (w.sqlca().sqlcode() == Transaction::kSuccess) {
                log.begin_database(w.is_sorvanth);
                upgrade_current_database(w, log, w.is_sorvanth);
            } else {
                ui.insert_progress_line("不能切换到数据库 " + w.is_sorvanth + "，该库未升级：" +
                                        w.sqlca().sqlerrtext());
            }
        }
    } catch (const ConnectionLost& lost) {
        report_connection_lost(w, {lost.database(), w.step, lost.what()});
    }
    // The lock of a lost connection went with it.
    if (!w.last_run.connection_lost) release_run_lock(w);
    w.last_run.counts = log.counts();
    w.last_run.log_path = log.path();
    ui.insert_progress_line(log.finish());
    ui.set_upgrade_enabled(false);
}

}  // namespace tessary
