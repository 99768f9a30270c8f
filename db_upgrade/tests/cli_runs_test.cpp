// tessary-cli upgrade and status over the SQL Server double: exit codes, the JSON report,
// and what status sends.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <sstream>

#include "cli/commands.h"
#include "core/package_format.h"
#include "core/statements.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;
namespace st = statements;

struct Outcome {
    int exit_code;
    std::string out;
    std::string err;
    Json::Value report;  // stdout parsed, with --json
};

class CliRun : public CoreFixture {
  protected:
    using Run = int (*)(Transaction&, System&, bool, std::ostream&, std::ostream&);

    Outcome run(Run command, bool json = true) {
        std::ostringstream out, err;
        timeline.clear();
        Outcome outcome{command(server, system, json, out, err), out.str(), err.str(), {}};
        if (json) {
            std::istringstream in(outcome.out);
            EXPECT_TRUE(
                Json::parseFromStream(Json::CharReaderBuilder(), in, &outcome.report, nullptr))
                << outcome.out;
            EXPECT_EQ(outcome.out.find('\n'), outcome.out.size() - 1) << "one line";
            EXPECT_EQ(outcome.report["exit_code"].asInt(), outcome.exit_code);
        }
        return outcome;
    }

    void put_package(const std::string& bytes) { put_file(work_dir.path() / "db.dat", bytes); }
};

TEST_F(CliRun, UpgradeReportsTheRunAndExitsZeroWhenOnlyExpectedFailuresOccur) {
    server.add_database(store_database("store", "20150825"));
    const Outcome first = run(cli::run_upgrade);
    EXPECT_EQ(first.exit_code, 0) << first.err;
    const Json::Value& pass = first.report["databases"][0];
    EXPECT_EQ(pass["upgrade_date_before"], "20150825");
    EXPECT_EQ(pass["batches_run"].size(), 2u);
    EXPECT_EQ(pass["upgrade_date_after"], "20200117");
    EXPECT_EQ(pass["database_version_after"], "V8 20191014");
    EXPECT_EQ(pass["package"], "applied");
    EXPECT_NE(first.err.find("升级结束："), std::string::npos);  // the text for people

    // Again, on the upgraded database: everything it adds is there already.
    const Outcome again = run(cli::run_upgrade);
    EXPECT_EQ(again.exit_code, 0) << again.err;
    const Json::Value& statements = again.report["statements"];
    EXPECT_GT(statements["expected_failures"].asUInt(), 100u);
    EXPECT_EQ(statements["unexpected_failures"], 0);
    Json::UInt64 listed = 0;
    for (const auto& entry : again.report["expected_failures"]) {
        EXPECT_FALSE(entry["meaning"].asString().empty()) << entry["error"];
        listed += entry["count"].asUInt64();
    }
    EXPECT_EQ(listed, statements["expected_failures"].asUInt64());
}

TEST_F(CliRun, UpgradeExitCodesTellWhatTheRunMet) {
    server.add_database(store_database("store", "20200117"));
    server.refuse(std::string(st::catalogue_200327[3]), "Odd trouble.");
    Outcome outcome = run(cli::run_upgrade);
    EXPECT_EQ(outcome.exit_code, 3);
    ASSERT_EQ(outcome.report["unexpected_failures"].size(), 1u);
    EXPECT_EQ(outcome.report["unexpected_failures"][0]["text"], "Odd trouble.");
    EXPECT_NE(outcome.err.find("未预期的错误（50000）："), std::string::npos);

    // A package that stops weighs more than unexpected failures.
    put_package(package::record("P_MS.sql", "select 1") + "cut short");
    outcome = run(cli::run_upgrade);
    EXPECT_EQ(outcome.exit_code, 4);
    EXPECT_EQ(outcome.report["databases"][0]["package"], "malformed");

    server.add_database(store_database("store", "20191014"));
    EXPECT_EQ(run(cli::run_upgrade).exit_code, 1);

    // Another program holds the run lock: nothing after it is sent.
    const auto holder = session_holding_run_lock(server, "store");
    outcome = run(cli::run_upgrade);
    EXPECT_EQ(outcome.exit_code, 5);
    EXPECT_EQ(outcome.report["run_lock"], "refused");
    EXPECT_NE(outcome.err.find("凯岚商业管理软件: 另一个升级正在进行，请稍后再试\n"),
              std::string::npos);
    EXPECT_EQ(timeline.texts(Kind::kSelect).back(), st::take_run_lock);
}

TEST_F(CliRun, StatusReadsBothDatabasesWithSelectsAndUseAlone) {
    server.add_database(store_database("store", "20150825"));
    server.add_database(store_database("SORVANTH", "20200117"));
    put_file(scripts_dir() / "p_a.sql", "select 1\r\nGO\r\n");
    put_package(package::record("P_ONE_MS.sql",
                                "drop procedure p\r\ngo\r\ncreate procedure p "
                                "as\r\nbegin\r\nselect 1\r\nend\r\n") +
                package::record("P_TWO_ANY5.sql", "") + package::record("P_BAD_MS.sql", "") +
                "@@@@");

    const Outcome outcome = run(cli::run_status);
    EXPECT_EQ(outcome.exit_code, 10);
    for (const auto& event : timeline.events()) {
        EXPECT_TRUE(event.kind != Kind::kCommit && event.kind != Kind::kRollback);
        if (event.kind == Kind::kExecute) {
            EXPECT_EQ(event.text.rfind("use ", 0), 0u) << event.text;
        }
    }
    const Json::Value& store = outcome.report["databases"][0];
    EXPECT_EQ(store["database_version"], "V8 20130601");
    ASSERT_EQ(store["batches_due"].size(), 2u);
    EXPECT_EQ(store["batches_due"][0]["statements"].asUInt(), st::batch_20150825.size());
    EXPECT_TRUE(outcome.report["databases"][1]["up_to_date"].asBool());
    EXPECT_EQ(outcome.report["procedure_scripts"]["scripts"], 1);
    const Json::Value& package = outcome.report["package"];
    EXPECT_EQ(package["for_ms"], 2);
    EXPECT_EQ(package["for_any5"], 1);
    EXPECT_EQ(package["applied"], 1);
    EXPECT_EQ(package["syntax_errors"], 1);
    EXPECT_NE(outcome.err.find("upgrade due\n"), std::string::npos);

    // Without --json the text is the output.
    server.add_database(store_database("store", "20200117"));
    const Outcome text = run(cli::run_status, false);
    EXPECT_EQ(text.exit_code, 0);
    EXPECT_NE(text.out.find("database store\n  upgrade date   20200117\n"), std::string::npos);
    EXPECT_EQ(text.out.substr(text.out.size() - 11), "up to date\n");

    // A date no batch starts from is one no upgrade can mend: a failure, not an upgrade due.
    server.add_database(store_database("store", "20191014"));
    const Outcome unknown = run(cli::run_status, false);
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_NE(unknown.out.find("an upgrade cannot run\n"), std::string::npos);
}

}  // namespace
}  // namespace tessary::testing
