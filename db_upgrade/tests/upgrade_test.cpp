// The upgrade run (cb_1_clicked) and wf_dbupgrade_2007 against the SQL Server double.
#include "core/upgrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/package.h"
#include "core/statements.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;
namespace st = statements;

const std::string kSelectDate(st::select_upgrade_date);
const std::string kInsertDate(st::insert_upgrade_date);

bool is_run_lock(const Event& event) {
    return event.text == st::take_run_lock || event.text == st::release_run_lock;
}

// The database operations of the timeline as short texts, in order, without the run lock
// around them (RunLock tests it).
std::vector<std::string> operations(const std::vector<Event>& events) {
    std::vector<std::string> out;
    for (const auto& event : events) {
        if (is_run_lock(event)) continue;
        switch (event.kind) {
            case Kind::kExecute:
                out.push_back("execute " + event.text);
                break;
            case Kind::kSelect:
                out.push_back("select " + event.text);
                break;
            case Kind::kCommit:
                out.push_back("commit");
                break;
            case Kind::kRollback:
                out.push_back("rollback");
                break;
            case Kind::kAutocommit:
                out.push_back("autocommit " + event.text);
                break;
            default:
                break;
        }
    }
    return out;
}

void add_committed(std::vector<std::string>& ops, const st::StatementList& list) {
    for (auto statement : list) {
        ops.push_back("execute " + std::string(statement));
        ops.push_back("commit");
    }
}

// The closing messages of the procedure rebuild and of the package applier.
const std::string kRebuilt =
    "\xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc\xd6\xd8\xbd\xa8\xb3\xc9\xb9\xa6";  // 存储过程重建成功
const std::string kApplied = "\xb8\xfc\xd0\xc2\xb3\xc9\xb9\xa6\xa3\xa1";  // 更新成功！

// What one pass over a database sends when it reads `date`. The rebuild (between the
// version label and the grant insert) and the package applier (between autocommit on and
// off) send nothing here: the script folder is empty and the package holds no script.
std::vector<std::string> expected_pass(const std::string& date) {
    std::vector<std::string> ops{"select " + kSelectDate};
    if (date == "00000000") {
        ops.push_back("execute " + kInsertDate);
        ops.push_back("commit");
    }
    ops.push_back("select " + kSelectDate);
    const std::vector<std::string> gates{"00000000", "20140722", "20150825", "20200117"};
    const std::vector<const st::StatementList*> batches{&st::batch_00000000, &st::batch_20140722,
                                                        &st::batch_20150825};
    std::size_t first = 0;
    while (first < gates.size() && gates[first] != date) ++first;
    for (std::size_t i = first; i < gates.size(); ++i) {
        if (i < batches.size()) {
            add_committed(ops, *batches[i]);
            continue;
        }
        add_committed(ops, st::batch_20200117_menus);
        add_committed(ops, st::catalogue_200327);
        add_committed(ops, st::batch_20200117_version);
        ops.push_back("execute " + std::string(st::batch_20200117_grant[0]));
    }
    ops.insert(ops.end(), {"autocommit on", "autocommit off", "commit"});
    return ops;
}

class Upgrade : public CoreFixture {
  protected:
    void run_upgrade() {
        ASSERT_TRUE(open_window());
        timeline.clear();
        cb_1_clicked(window);
    }
};

struct StateCase {
    std::optional<std::string> recorded;
    std::string read;  // what the run's select returns
};

class UpgradeStateTable : public Upgrade, public ::testing::WithParamInterface<StateCase> {};

TEST_P(UpgradeStateTable, RunsEveryBatchFromTheRecordedDateAndEndsAt20200117) {
    server.add_database(store_database("store", GetParam().recorded));
    run_upgrade();

    EXPECT_EQ(operations(timeline.events()), expected_pass(GetParam().read));
    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20200117");
    EXPECT_EQ(system_value(db("store"), "DataBase_Version"), "V8 20191014");
    EXPECT_EQ(timeline.texts(Kind::kMessage), (std::vector<std::string>{kRebuilt, kApplied}));
    EXPECT_FALSE(ui.upgrade_enabled);
}

INSTANTIATE_TEST_SUITE_P(RecordedDates, UpgradeStateTable,
                         ::testing::Values(StateCase{std::nullopt, "00000000"},
                                           StateCase{"00000000", "00000000"},
                                           StateCase{"20140722", "20140722"},
                                           StateCase{"20150825", "20150825"},
                                           StateCase{"20200117", "20200117"}));

TEST_F(Upgrade, EveryStatementOfANewDatabaseSucceedsAndTheVersionPassesThroughEachBatch) {
    server.add_database(store_database("store", std::nullopt));
    run_upgrade();
    std::vector<std::string> versions;
    for (const auto& event : timeline.events()) {
        if (event.kind == Kind::kExecute) {
            EXPECT_TRUE(event.ok) << event.text;
            if (event.text.find("'DataBase_Version'") != std::string::npos)
                versions.push_back(event.text);
        }
    }
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_NE(versions[0].find("'V8 20140722'"), std::string::npos);
    EXPECT_NE(versions[1].find("'V8 20150825'"), std::string::npos);
    EXPECT_NE(versions[2].find("'V8 20191014'"), std::string::npos);
}

TEST_F(Upgrade, TheRebuildRunsBeforeTheGrantInsertAndThePackageBetweenTheAutocommitSwitches) {
    server.add_database(store_database("store", "20200117"));
    put_file(scripts_dir() / "p_a_MS.sql",
             "create procedure p_a_MS as\r\nbegin\r\nselect 1\r\nend\r\nGO\r\n");
    put_file(
        work_dir.path() / "db.dat",
        package::record("p_b_MS.sql",
                        "drop procedure p_b_MS\r\ngo\r\ncreate procedure p_b_MS as\r\nbegin\r\n"
                        "select 2\r\nend") +
            "@@@@");
    run_upgrade();

    auto expected = expected_pass("20200117");
    expected.insert(expected.end() - 4,
                    "execute \ncreate procedure p_a_MS as\nbegin\nselect 1\nend");
    expected.insert(expected.end() - 2,
                    {"autocommit off", "execute drop procedure p_b_MS",
                     "execute create procedure p_b_MS  with ENCRYPTION as\r\nbegin\r\nselect "
                     "2\r\nend",
                     "commit", "autocommit on"});
    EXPECT_EQ(operations(timeline.events()), expected);
    EXPECT_EQ(timeline.texts(Kind::kMessage), (std::vector<std::string>{kRebuilt, kApplied}));
    EXPECT_EQ(db("store").routines.size(), 2u);
}

TEST_F(Upgrade, AMissingDateRowIsCreatedWithItsEightValues) {
    server.add_database(store_database("store", std::nullopt));
    run_upgrade();
    const auto* settings = db("store").table("t_sys_system");
    ASSERT_NE(settings, nullptr);
    const SqlServerDouble::Row* row = nullptr;
    for (const auto& candidate : settings->rows) {
        if (candidate[0] == "UPGRADE_DATE") row = &candidate;
    }
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->size(), 12u);  // the catalogue adds four columns after the insert
    EXPECT_EQ((*row)[1], "UPGRADE_DATE");
    EXPECT_EQ((*row)[2], "20200117");
    EXPECT_EQ((*row)[3], std::string("\xca\xc7"));  // 是 in GBK
    EXPECT_EQ((*row)[4], "");
    EXPECT_FALSE((*row)[5] || (*row)[6] || (*row)[7]);
}

TEST_F(Upgrade, NewMenuEntriesAreGrantedToEveryOperatorThatHoldsAGrant) {
    server.add_database(store_database("store", "20200117"));
    run_upgrade();
    const auto* grants = db("store").table("t_sys_oper_grant");
    ASSERT_NE(grants, nullptr);
    std::set<std::string> granted;
    for (const auto& row : grants->rows) granted.insert(*row[0] + ":" + *row[1]);
    for (const char* oper : {"1001", "1002"}) {
        for (const char* menu : {"0103", "6215", "6216", "6217", "1227", "1222"}) {
            EXPECT_EQ(granted.count(std::string(oper) + ":" + menu), 1u) << oper << " " << menu;
        }
        // Menu groups, separators and the E and F menus get no rows.
        for (const char* menu : {"0100", "0102", "E001"}) {
            EXPECT_EQ(granted.count(std::string(oper) + ":" + menu), 0u) << oper << " " << menu;
        }
    }
    EXPECT_EQ(grants->rows.size(), 2u + 2u * 6u);
}

TEST_F(Upgrade, ADateThatIsNoGateShowsTheMessageAndRunsNoBatch) {
    server.add_database(store_database("store", "20191014"));
    run_upgrade();

    // The package is still applied.
    const auto messages = events_of(Kind::kMessage);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].detail, std::string("\xcc\xe1\xca\xbe"));  // 提示
    EXPECT_EQ(messages[0].text, "数据库升级程序不全，升级操作被中断。");
    EXPECT_EQ(messages[0].text, kUpgradeIncompleteText);
    EXPECT_EQ(messages[1].text, kApplied);
    EXPECT_EQ(operations(timeline.events()), expected_pass("20191014"));
    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20191014");
    EXPECT_EQ(system_value(db("store"), "DataBase_Version"), "V8 20130601");
    EXPECT_FALSE(ui.upgrade_enabled);
}

TEST_F(Upgrade, AFailingDateSelectIsNoGateEither) {
    auto broken = store_database("store", "20200117");
    broken.tables.erase("t_sys_system");
    server.add_database(broken);
    run_upgrade();
    EXPECT_EQ(timeline.texts(Kind::kMessage),
              (std::vector<std::string>{kUpgradeIncompleteText, kApplied}));
    EXPECT_TRUE(executed().empty());
}

TEST_F(Upgrade, GateDatesMatchExactly) {
    EXPECT_TRUE(is_gate_date("00000000"));
    EXPECT_TRUE(is_gate_date("20200117"));
    EXPECT_FALSE(is_gate_date("20200117 "));
    EXPECT_FALSE(is_gate_date(""));
    EXPECT_FALSE(is_gate_date("20191014"));
}

TEST_F(Upgrade, TheSecondDatabaseIsUpgradedNextWithAutocommitOff) {
    server.add_database(store_database("store", "20150825"));
    server.add_database(store_database("Sorvanth", "20140722"));
    run_upgrade();

    const auto events = timeline.events();
    std::size_t use = 0;
    while (use < events.size() && events[use].text != "use [Sorvanth]") ++use;
    ASSERT_LT(use, events.size());
    const std::vector<Event> first(events.begin(), events.begin() + static_cast<long>(use));
    const std::vector<Event> second(events.begin() + static_cast<long>(use) + 1, events.end());

    EXPECT_EQ(operations(first), expected_pass("20150825"));
    EXPECT_EQ(operations(second), expected_pass("20140722"));
    for (const auto& event : second) {
        if (event.kind == Kind::kExecute) {
            EXPECT_EQ(event.detail, "Sorvanth") << event.text;
        }
    }
    // The first pass starts with autocommit on as the connection left it; the second with
    // autocommit off as the first pass left it.
    EXPECT_TRUE(std::find_if(first.begin(), first.end(), [](const Event& e) {
                    return e.kind == Kind::kAutocommit;
                })->text == "on");
    EXPECT_FALSE(server.autocommit());
    EXPECT_EQ(server.current_database(), "Sorvanth");

    // Each statement of the second pass was committed on its own.
    EXPECT_EQ(system_value(db("Sorvanth"), "UPGRADE_DATE"), "20200117");
    EXPECT_EQ(system_value(db("Sorvanth"), "DataBase_Version"), "V8 20191014");
    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20200117");
    // The package applier asks for the wait cursor too, and leaves it to the run.
    EXPECT_EQ(timeline.texts(Kind::kWaitCursor),
              (std::vector<std::string>{"on", "on", "off", "on", "on", "off"}));
    EXPECT_FALSE(ui.wait_cursor());
}

TEST_F(Upgrade, AStoreDatabaseNamedLikeTheSecondOneRunsBatch4Again) {
    system.registry["DATABASE"] = "sorvanth";
    server.add_database(store_database("sorvanth", "20150825"));
    run_upgrade();
    const auto ops = operations(timeline.events());
    auto expected = expected_pass("20150825");
    expected.push_back("execute use [sorvanth]");
    const auto again = expected_pass("20200117");
    expected.insert(expected.end(), again.begin(), again.end());
    EXPECT_EQ(ops, expected);
}

TEST_F(Upgrade, AFailedSwitchToTheSecondDatabaseSkipsItsPassAndSaysSo) {
    server.add_database(store_database("store", "20200117"));
    server.add_database(store_database("sorvanth", "20200117"));
    server.refuse("use [sorvanth]", "Database 'sorvanth' is offline.");
    run_upgrade();

    const auto selects = timeline.texts(Kind::kSelect);
    EXPECT_EQ(std::count(selects.begin(), selects.end(), kSelectDate), 2);  // one pass only
    const auto lines = timeline.texts(Kind::kProgress);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "未预期的错误（50000）：use [sorvanth]：Database 'sorvanth' is offline.");
    EXPECT_EQ(lines[1], "不能切换到数据库 sorvanth，该库未升级：Database 'sorvanth' is offline.");
    EXPECT_EQ(system_value(db("sorvanth"), "DataBase_Version"), "V8 20130601");
    EXPECT_EQ(server.current_database(), "store");
}

TEST_F(Upgrade, WithoutThePackageCheckBoxAutocommitIsStillSwitchedAroundTheStep) {
    ui.package_checked = false;
    server.add_database(store_database("store", "20200117"));
    run_upgrade();
    const auto ops = operations(timeline.events());
    const std::vector<std::string> tail(ops.end() - 3, ops.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"autocommit on", "autocommit off", "commit"}));
}

TEST_F(Upgrade, RerunningOnAnUpgradedDatabaseChangesNothing) {
    server.add_database(store_database("store", std::nullopt));
    server.add_database(store_database("sorvanth", "20150825"));
    run_upgrade();
    const auto store_after_first = db("store");
    const auto second_after_first = db("sorvanth");

    // A new start of the program: open, connect, press the button.
    RecordingUi again_ui(timeline);
    UpgradeWindow again(again_ui, system, server);
    server.disconnect();
    open(again);
    ue_postopen(again);
    ASSERT_TRUE(again_ui.upgrade_enabled);
    timeline.clear();
    cb_1_clicked(again);

    EXPECT_EQ(db("store"), store_after_first);
    EXPECT_EQ(db("sorvanth"), second_after_first);
    // Only the version label and the grant insert go through; they change nothing.
    std::vector<std::string> succeeded;
    for (const auto& event : timeline.events()) {
        if (event.kind == Kind::kExecute && event.ok) succeeded.push_back(event.text.substr(0, 30));
    }
    EXPECT_EQ(succeeded, (std::vector<std::string>{
                             "update t_sys_system set sys_va", "insert t_sys_oper_grant select",
                             "use [sorvanth]", "update t_sys_system set sys_va",
                             "insert t_sys_oper_grant select"}));
}

// The run lock: one run at a time on a server, whatever session or program runs it.
class RunLockTest : public Upgrade {
  protected:
    RunLockTest() { server.add_database(store_database("store", "20150825")); }
};

TEST_F(RunLockTest, IsHeldFromBeforeTheFirstStatementToAfterTheLast) {
    run_upgrade();
    const auto selects = timeline.texts(Kind::kSelect);
    EXPECT_EQ(selects.front(), st::take_run_lock);
    EXPECT_EQ(selects.back(), st::release_run_lock);
    EXPECT_EQ(timeline.events().front().text, st::take_run_lock);
    EXPECT_EQ(window.last_run.lock, RunLock::kHeld);
    EXPECT_NO_THROW(session_holding_run_lock(server, "store"));  // given back
}

TEST_F(RunLockTest, ARunWhileAnotherSessionHoldsItSendsNothingElseUntilThatSessionEnds) {
    auto other = session_holding_run_lock(server, "store");
    std::optional<std::string> again;
    other->select_into(std::string(st::take_run_lock), again);
    EXPECT_EQ(again, "0");  // its holder may ask again
    run_upgrade();

    EXPECT_EQ(timeline.texts(Kind::kSelect),
              std::vector<std::string>{std::string(st::take_run_lock)});
    EXPECT_TRUE(executed().empty());
    EXPECT_EQ(timeline.texts(Kind::kMessage),
              std::vector<std::string>{"另一个升级正在进行，请稍后再试"});
    EXPECT_TRUE(ui.upgrade_enabled);  // the user may try again later
    EXPECT_TRUE(run_logs().empty());  // no run log either

    // Only its holder gives a lock back; otherwise it goes with its session.
    std::optional<std::string> released;
    server.select_into(std::string(st::release_run_lock), released);
    EXPECT_EQ(server.sqldbcode(), 1223);
    other->disconnect();
    cb_1_clicked(window);
    EXPECT_EQ(window.last_run.lock, RunLock::kHeld);
    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20200117");
}

TEST_F(RunLockTest, AServerThatCannotGrantItGetsTheRunWithoutItAndALineSayingSo) {
    server.refuse("sp_getapplock", "Could not find stored procedure 'sp_getapplock'.");
    run_upgrade();
    EXPECT_EQ(timeline.texts(Kind::kProgress).at(0),
              "不能取得升级锁（Could not find stored procedure 'sp_getapplock'.），"
              "升级在不加锁的情况下进行");
    EXPECT_EQ(window.last_run.lock, RunLock::kUnavailable);
    EXPECT_NE(timeline.texts(Kind::kSelect).back(), st::release_run_lock);
    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20200117");
}

}  // namespace
}  // namespace tessary::testing
