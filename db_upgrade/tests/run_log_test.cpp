// The run log of cb_1_clicked: what it writes, the summary line, and what it passes on.
#include "core/run_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/failures.h"
#include "core/statements.h"
#include "core/text.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;

class RunLogTest : public CoreFixture {};

TEST_F(RunLogTest, TheRunWritesEveryStatementWithItsOutcomeBesideTheDbDat) {
    server.add_database(store_database("store", "20200117"));
    ASSERT_TRUE(open_window());
    timeline.clear();
    cb_1_clicked(window);

    const auto logs = run_logs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].filename().string().rfind("tessary-upgrade-", 0), 0u);
    const std::string log = file_bytes(logs[0]);

    // Two selects of the date, then batch 4: menu rows, catalogue, version label, grant.
    namespace st = statements;
    const std::size_t batch_4 = st::batch_20200117_menus.size() + st::catalogue_200327.size() +
                                st::batch_20200117_version.size() + st::batch_20200117_grant.size();
    // The run lock is taken before the log begins and given back after it ends.
    std::size_t sent = 0, failed = 0;
    for (const auto& event : timeline.events()) {
        if (event.text == st::take_run_lock || event.text == st::release_run_lock) continue;
        if (event.kind == Kind::kExecute || event.kind == Kind::kSelect) {
            ++sent;
            if (!event.ok) ++failed;
        }
    }
    EXPECT_EQ(sent, 2 + batch_4);
    const std::string summary = "升级结束：发送语句 " + std::to_string(sent) + " 条，成功 " +
                                std::to_string(sent - failed) + " 条，失败 " +
                                std::to_string(failed) + " 条（预期的 0 条，未预期的 0 条）";
    const auto lines = timeline.texts(Kind::kProgress);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], summary + "；日志 " + logs[0].string());
    EXPECT_NE(log.find(summary + "\n"), std::string::npos);

    EXPECT_NE(log.find(" statement 1\n" + std::string(st::select_upgrade_date) + "\n-- ok\n"),
              std::string::npos);
    const std::string last_step(st::catalogue_200327[st::catalogue_200327.size() - 1]);
    EXPECT_NE(log.find("\n" + last_step + "\n-- ok\n"), std::string::npos);
    EXPECT_NE(log.find("-- commit: ok\n"), std::string::npos);
    EXPECT_NE(log.find("-- autocommit off: ok\n"), std::string::npos);
}

TEST_F(RunLogTest, FailuresAreLoggedAsExpectedOrUnexpectedAndOnlyTheUnexpectedAreShown) {
    server.add_database(store_database("store", "20200117"));
    ASSERT_TRUE(open_window());
    cb_1_clicked(window);
    // Run again: everything the batch adds is there; one step meets an error of its own.
    const std::string odd_step(statements::catalogue_200327[0]);
    server.refuse(odd_step, "Something\nodd happened.");
    UpgradeWindow again(ui, system, server);
    open(again);
    timeline.clear();
    cb_1_clicked(again);

    const std::string log = file_bytes(run_logs().at(0));
    const std::string exists =
        "-- error -1 (database error 2705, expected): Column names in each table must be unique. "
        "Column name 'cm_flag' in table 't_bd_item_info' is specified more than once.\n";
    EXPECT_NE(log.find("\n" + exists), std::string::npos);
    EXPECT_EQ(log.find(exists), log.rfind(exists));
    EXPECT_NE(log.find("\n-- error -1 (database error 50000, unexpected): Something\n--    odd "
                       "happened.\n"),
              std::string::npos);

    const StatementCounts& counts = again.last_run.counts;
    std::size_t expected = 0;
    for (const auto& [number, count] : counts.expected) {
        EXPECT_NE(expected_failure(number), nullptr) << number;
        expected += count;
    }
    ASSERT_EQ(counts.unexpected.size(), 1u);
    EXPECT_EQ(counts.unexpected[0].native_error, 50000);
    EXPECT_EQ(counts.unexpected[0].database, "store");
    EXPECT_EQ(counts.failed, expected + 1);

    // The unexpected failure has its own line (the statement cut at 80 bytes, on one line),
    // above it the summary counts both kinds.
    const auto lines = timeline.texts(Kind::kProgress);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "未预期的错误（50000）：" + text::one_line(odd_step.substr(0, 80)) +
                            "：Something odd happened.");
    EXPECT_NE(lines[1].find("，失败 " + std::to_string(counts.failed) + " 条（预期的 " +
                            std::to_string(expected) + " 条，未预期的 1 条）；日志 "),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[1].find("；日志 "), std::string::npos);
}

TEST(UnexpectedFailureLine, CutsTheStatementWithoutSplittingACharacter) {
    const std::string statement = std::string(79, 'x') + "储值";  // 储 straddles byte 80
    EXPECT_EQ(unexpected_failure_line({"store", statement, 0, "bad"}),
              "未预期的错误：" + std::string(79, 'x') + "：bad");
    EXPECT_EQ(unexpected_failure_line({"store", "\n  select 1\r\n\tfrom t\n", 207, "a\nb"}),
              "未预期的错误（207）：select 1 from t：a b");
}

TEST_F(RunLogTest, AnUnwritableLogDoesNotStopTheRun) {
    system.current_dir = (work_dir.path() / "missing" / "directory").string();
    server.add_database(store_database("store", "20150825"));
    ASSERT_TRUE(open_window());
    cb_1_clicked(window);

    EXPECT_EQ(system_value(db("store"), "UPGRADE_DATE"), "20200117");
    const auto lines = timeline.texts(Kind::kProgress);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("；日志无法写入 " + system.current_dir), std::string::npos);
}

TEST_F(RunLogTest, PassesStatusSettingsAndAutocommitThroughToTheTransaction) {
    server.add_database(store_database("store", "20200117"));
    ASSERT_TRUE(open_window());
    RunLog log(server, system, ui, work_dir.file("direct.log"));
    EXPECT_EQ(log.settings().dbms, "MSS");
    log.settings().dbms = "ODBC";
    EXPECT_EQ(server.settings().dbms, "ODBC");

    log.execute_immediate("create table [dbo].[t_x] ( [a] [int] NULL )");
    EXPECT_EQ(log.sqlcode(), Transaction::kSuccess);
    log.execute_immediate("create table [dbo].[t_x] ( [a] [int] NULL )");
    EXPECT_EQ(log.sqlcode(), Transaction::kError);
    EXPECT_EQ(log.sqlerrtext(), "There is already an object named 't_x' in the database.");
    log.set_autocommit(false);
    EXPECT_FALSE(log.autocommit());
    EXPECT_FALSE(server.autocommit());
    EXPECT_EQ(log.counts().sent, 2u);
    EXPECT_EQ(log.counts().failed, 1u);
    EXPECT_EQ(log.counts().expected.at(2714), 1u);
}

}  // namespace
}  // namespace tessary::testing
