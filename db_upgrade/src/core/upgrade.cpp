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
    execute_each_with_commit(w.sqlca(), statements::batch_20200117_version);
    wf_exec_sql(w);
    for (std::string_view statement : statements::batch_20200117_grant) {
        w.sqlca().execute_immediate(std::string(statement));
    }
}

struct Gate {
    const char* date;
    void (*run)(UpgradeWindow&);
};

// In the order the batches run: a database starts at the gate of its recorded date and
// goes through every later one.
const Gate kGates[] = {
    {"00000000", batch_00000000},
    {"20140722", batch_20140722},
    {"20150825", batch_20150825},
    {"20200117", batch_20200117},
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

// One database: steps 1 to 8 of the run.
void upgrade_current_database(UpgradeWindow& w) {
    Transaction& sqlca = w.sqlca();
    const WaitCursor wait_cursor(w.ui());

    if (select_upgrade_date(sqlca) == std::string("00000000")) {
        sqlca.execute_immediate(std::string(statements::insert_upgrade_date));
        sqlca.commit();
    }
    wf_dbupgrade_2007(w);

    sqlca.set_autocommit(true);
    if (w.ui().apply_package_checked()) cb_put_clicked(w);
    sqlca.set_autocommit(false);
    sqlca.commit();
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

void wf_dbupgrade_2007(UpgradeWindow& w) {
    const std::optional<std::string> ls_upgrade_date = select_upgrade_date(w.sqlca());
    const std::size_t first = ls_upgrade_date ? gate_index(*ls_upgrade_date) : kGateCount;
    if (first == kGateCount) {
        w.ui().message_box(kNoticeTitle, kUpgradeIncompleteText);
        return;
    }
    for (std::size_t i = first; i < kGateCount; ++i) kGates[i].run(w);
}

void cb_1_clicked(UpgradeWindow& w) {
    Ui& ui = w.ui();
    System& system = w.system();
    RunLog log(w.sqlca(), system, RunLog::path_in(system, system.program_directory()));
    {
        RoutedThroughLog routed(w, log);
        upgrade_current_database(w);
        if (w.ib_sorvanth) {
            w.sqlca().execute_immediate("use " + w.is_sorvanth);
            // A second pass after a failed switch would upgrade the first database again
            // while the second one is left as it was.
            if (w.sqlca().sqlcode() == Transaction::kSuccess) {
                upgrade_current_database(w);
            } else {
                ui.insert_progress_line("不能切换到数据库 " + w.is_sorvanth + "，该库未升级：" +
                                        w.sqlca().sqlerrtext());
            }
        }
    }
    ui.insert_progress_line(log.finish());
    ui.set_upgrade_enabled(false);
}

}  // namespace tessary
