// The script package db.dat: building it from a folder, the builder's refusals, the plan,
// and the applier against the SQL Server double.
#include "core/package.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/files.h"
#include "core_fixture.h"
#include "procedure_script.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;
namespace fs = std::filesystem;
namespace pk = package;

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Names the cases of a parameterised test by their place in the list.
template <typename Param>
std::string numbered(const ::testing::TestParamInfo<Param>& test_case) {
    return "case" + std::to_string(test_case.index);
}

// A package in memory, taken apart as the applier takes one from its file.
struct PlannedBytes {
    explicit PlannedBytes(std::string package, std::string_view dbms = "MSS")
        : bytes(std::move(package)), reader(bytes), plan(pk::plan_package(reader, dbms)) {}
    std::string text(std::size_t i) { return *pk::record_text(reader, plan.scripts[i].record); }

    std::string bytes;
    files::BytesReader reader;
    pk::Plan plan;
};

class Builder : public ::testing::Test {
  protected:
    void script(const std::string& name, const std::string& text) {
        put_file(scripts.path() / host::file_system_path(name), text);
    }
    pk::PackOutcome pack() {
        return pk::pack_folder(system, scripts.path().string(), package_path());
    }
    std::string packed() {
        const auto outcome = pack();
        EXPECT_EQ(outcome.error, "");
        return file_bytes(package_path());
    }
    std::string package_path() const { return out.file("db.dat"); }

    host::HostSystem system;
    TempDir scripts;
    TempDir out;
};

TEST_F(Builder, AFolderWithoutScriptsGivesTheEndMarkerAlone) {
    script("readme.txt", "not a script");
    fs::create_directory(scripts.path() / "old.sql");
    EXPECT_EQ(packed(), "@@@@");
}

TEST_F(Builder, OneScriptIsStoredReversedLineEndsAndAll) {
    script("abc_MS.sql", "abc");
    EXPECT_EQ(packed(), "$$$$$$abc_MS.sql^^^^cba####@@@@");
    script("abc_MS.sql", "select 1\r\ngo\r\n");
    EXPECT_EQ(packed(), "$$$$$$abc_MS.sql^^^^\n\rog\n\r1 tceles####@@@@");
}

TEST_F(Builder, ScriptsFollowInNameOrderWithLetterCaseIgnored) {
    script("b_MS.sql", "2");
    script("A.SQL", "1");
    script("c.Sql", "");
    script("notes.txt", "x");
    EXPECT_EQ(packed(), "$$$$$$A.SQL^^^^1####$$$$$$b_MS.sql^^^^2####$$$$$$c.Sql^^^^####@@@@");
}

TEST_F(Builder, ChineseNamesAndTextsAreReversedByteByByte) {
    // 过程_MS.sql holding "-- 存储过程" and a line end, in GBK.
    script("\xb9\xfd\xb3\xcc_MS.sql", "-- \xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc\r\n");
    EXPECT_EQ(packed(),
              "$$$$$$\xb9\xfd\xb3\xcc_MS.sql^^^^\n\r\xcc\xb3\xfd\xb9\xa2\xb4\xe6\xb4 --####@@@@");
    EXPECT_EQ(std::string("过程"), "\xb9\xfd\xb3\xcc");
}

TEST_F(Builder, LongScriptsArePackedWholeAndReadBack) {
    // Beyond 32,000 bytes the builder used to flush its buffer, beyond 32,765 it cut scripts.
    std::string over_buffer(32001, 'x');
    over_buffer.front() = '<';
    over_buffer.back() = '>';
    std::string over_read(40000, 'y');
    over_read.front() = '[';
    over_read.back() = ']';
    script("p1.sql", over_buffer);
    script("p2.sql", over_read);

    const std::string package = packed();
    ASSERT_EQ(package.size(), (16 + 32001 + 4) + (16 + 40000 + 4) + 4);
    EXPECT_EQ(package.substr(0, 17), "$$$$$$p1.sql^^^^>");
    EXPECT_EQ(package.substr(16 + 32000, 22), "<####$$$$$$p2.sql^^^^]");
    EXPECT_EQ(package.substr(package.size() - 9), "[####@@@@");

    PlannedBytes planned(package);
    EXPECT_EQ(planned.plan.error, "");
    ASSERT_EQ(planned.plan.scripts.size(), 2u);
    EXPECT_EQ(planned.text(0), over_buffer);
    EXPECT_EQ(planned.text(1), over_read);
}

struct Refusal {
    std::string name;
    std::string text;
    std::string fault;
};

class BuilderRefusal : public Builder, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BuilderRefusal, NamesTheScriptAndLeavesThePackageAsItWas) {
    put_file(package_path(), "OLD");
    script("a_MS.sql", procedure_script("a_MS"));
    script(GetParam().name, GetParam().text);

    const auto outcome = pack();
    EXPECT_EQ(outcome.error, "脚本 " + GetParam().name + " 的" + GetParam().fault +
                                 "，不能打包，程序包 " + package_path() + " 未更改。");
    EXPECT_EQ(file_bytes(package_path()), "OLD");
    EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"db.dat"});
}

INSTANTIATE_TEST_SUITE_P(
    Markers, BuilderRefusal,
    ::testing::Values(Refusal{"p####_MS.sql", "select 1", "名称含有标记 ####"},
                      Refusal{"p^^^^_MS.sql", "select 1", "名称含有标记 ^^^^"},
                      Refusal{"p_MS.sql", "select '####'", "内容含有标记 ####"},
                      Refusal{"p_MS.sql", "# header\r\nselect 1",
                              "内容以 # 开头，倒序后会与其后的标记 #### 相连"}),
    numbered<Refusal>);

TEST_F(Builder, MarkersThatCannotSplitThePackageArePacked) {
    script("p$$$$$$@@@@_MS.sql", "select '$$$$$$ ^^^^ @@@@', 'a#'");
    PlannedBytes planned(packed());
    ASSERT_EQ(planned.plan.scripts.size(), 1u);
    EXPECT_EQ(planned.plan.scripts[0].record.name, "p$$$$$$@@@@_MS.sql");
    EXPECT_EQ(planned.text(0), "select '$$$$$$ ^^^^ @@@@', 'a#'");
}

TEST_F(Builder, AScriptThatCannotBeReadStopsTheBuild) {
    put_file(package_path(), "OLD");
    // Listed as a plain file, yet reading it fails, even for root.
    const UnreadableFile unreadable(scripts.path() / "unreadable_MS.sql");
    const auto outcome = pack();
    EXPECT_EQ(outcome.error.rfind("不能读取脚本 unreadable_MS.sql：", 0), 0u) << outcome.error;
    EXPECT_EQ(file_bytes(package_path()), "OLD");
    EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"db.dat"});
}

TEST_F(Builder, AMissingFolderOrAnUnwritablePackageChangesNothing) {
    put_file(package_path(), "OLD");
    auto outcome = pk::pack_folder(system, (scripts.path() / "missing").string(), package_path());
    EXPECT_EQ(outcome.error.rfind("不能读取脚本目录 " + (scripts.path() / "missing").string(), 0),
              0u);
    EXPECT_EQ(file_bytes(package_path()), "OLD");

    script("a_MS.sql", "abc");
    const std::string nowhere = out.file("missing/db.dat");
    outcome = pk::pack_folder(system, scripts.path().string(), nowhere);
    EXPECT_EQ(outcome.error.rfind("不能写入程序包：", 0), 0u) << outcome.error;
    EXPECT_FALSE(fs::exists(out.path() / "missing"));
}

TEST(PackagePlan, SaysForEachScriptWhetherItIsAppliedAndHowItSplits) {
    const std::string package = pk::record("P_ONE_MS.sql", procedure_script("P_ONE_MS")) +
                                pk::record("p_ANY5.sql", procedure_script("p_ANY5")) +
                                pk::record("P_BAD_MS.sql", "select 1") + "@@@@";
    PlannedBytes planned(package);
    const pk::Plan& plan = planned.plan;
    EXPECT_EQ(plan.error, "");
    ASSERT_EQ(plan.scripts.size(), 3u);
    const auto& one = plan.scripts[0];
    EXPECT_TRUE(one.engine_applies && one.cut.splits());
    pk::RecordText text(planned.reader, one.record);
    const auto statements = script_statements(text, one.cut);
    ASSERT_TRUE(statements);
    EXPECT_EQ(statements->drop, "drop procedure P_ONE_MS");
    EXPECT_EQ(statements->create,
              "create procedure P_ONE_MS  with ENCRYPTION as\r\nbegin\r\nselect 1\r\nend\r\n");
    EXPECT_FALSE(plan.scripts[1].engine_applies);
    EXPECT_TRUE(plan.scripts[1].cut.splits());
    EXPECT_TRUE(plan.scripts[2].engine_applies);
    EXPECT_FALSE(plan.scripts[2].cut.splits());
    EXPECT_EQ(planned.text(2), "select 1");

    EXPECT_TRUE(PlannedBytes(package, "odbc").plan.scripts[1].engine_applies);
}

const char kOldTwo[] = "create procedure p_two_MS as begin select 'old' end";

class Applier : public CoreFixture {
  protected:
    void SetUp() override {
        auto store = store_database("store", "20200117");
        store.routines["p_two_ms"] = {"procedure", kOldTwo};
        server.add_database(store);
        ASSERT_TRUE(open_window());
        timeline.clear();
    }

    void write_package(const std::vector<std::pair<std::string, std::string>>& scripts,
                       const std::string& end = "@@@@") {
        std::string bytes;
        for (const auto& [name, text] : scripts) bytes += pk::record(name, text);
        put_file(package_path(), bytes + end);
    }
    std::string package_path() const { return work_dir.file("db.dat"); }

    // The creation text of a routine of the store database, "" when there is none.
    std::string routine(const std::string& name) const {
        const auto& routines = db("store").routines;
        const auto found = routines.find(name);
        return found == routines.end() ? std::string() : found->second.creation;
    }

    std::vector<std::string> messages() const { return timeline.texts(Kind::kMessage); }
};

const std::string kUpdated = "\xb8\xfc\xd0\xc2\xb3\xc9\xb9\xa6\xa3\xa1";  // 更新成功！

TEST_F(Applier, ReplacesEachObjectByItsEncryptedCreationInPackageOrder) {
    write_package({{"P_ONE_MS.sql", procedure_script("p_one_MS")},
                   {"p_two_MS.sql", procedure_script("p_two_MS", "select 'new'")}});
    cb_put_clicked(window);

    std::vector<std::string> ops;
    for (const auto& event : timeline.events()) {
        if (event.kind == Kind::kExecute) ops.push_back(event.text + (event.ok ? "" : " (failed)"));
        if (event.kind == Kind::kCommit) ops.push_back("commit");
        if (event.kind == Kind::kAutocommit) ops.push_back("autocommit " + event.text);
    }
    const std::vector<std::string> pair_one{
        "autocommit off", "drop procedure p_one_MS (failed)",
        "create procedure p_one_MS  with ENCRYPTION as\r\nbegin\r\nselect 1\r\nend\r\n", "commit",
        "autocommit on"};
    const std::vector<std::string> pair_two{
        "autocommit off", "drop procedure p_two_MS",
        "create procedure p_two_MS  with ENCRYPTION as\r\nbegin\r\nselect 'new'\r\nend\r\n",
        "commit", "autocommit on"};
    std::vector<std::string> expected = pair_one;
    expected.insert(expected.end(), pair_two.begin(), pair_two.end());
    EXPECT_EQ(ops, expected);

    EXPECT_EQ(routine("p_one_ms"), pair_one[2]);
    EXPECT_EQ(routine("p_two_ms"), pair_two[2]);
    EXPECT_EQ(messages(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(events_of(Kind::kMessage)[0].detail, gs_appname);
    EXPECT_EQ(window.package_outcome, package::ApplyOutcome::kApplied);
}

TEST_F(Applier, TheEngineFilterPicksScriptsByTheLettersOfTheirNames) {
    write_package({{"p_items.sql", procedure_script("p_items")},
                   {"P_ITEMS.SQL", procedure_script("P_ITEMS")},
                   {"p_ANY5.sql", procedure_script("p_ANY5")}});
    cb_put_clicked(window);
    EXPECT_NE(routine("p_items"), "");
    EXPECT_EQ(routine("p_any5"), "");

    server.settings().dbms = "odbc";
    write_package({{"p_x_MS.sql", procedure_script("p_x_MS")},
                   {"p_ANY5.sql", procedure_script("p_ANY5")},
                   {"p_any5_lower.sql", procedure_script("p_any5_lower")}});
    cb_put_clicked(window);
    EXPECT_EQ(routine("p_x_ms"), "");
    EXPECT_NE(routine("p_any5"), "");
    EXPECT_EQ(routine("p_any5_lower"), "");
    EXPECT_EQ(messages(), (std::vector<std::string>{kUpdated, kUpdated}));
}

TEST_F(Applier, AScriptOfTheWrongShapeIsReportedAndSkipped) {
    write_package(
        {{"P_BAD_MS.sql", "select 1\r\n"}, {"P_ONE_MS.sql", procedure_script("p_one_MS")}});
    cb_put_clicked(window);
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"P_BAD_MS.sql \xd3\xef\xb7\xa8\xb4\xed\xce\xf3\xa3\xa1",
                                        kUpdated}));  // 语法错误！
    EXPECT_NE(routine("p_one_ms"), "");
}

TEST_F(Applier, AFailingCreationRollsItsPairBackAndStops) {
    server.refuse("create procedure p_two_MS", "Invalid column name 'nope'.");
    write_package({{"P_ONE_MS.sql", procedure_script("p_one_MS")},
                   {"p_two_MS.sql", procedure_script("p_two_MS", "select nope")},
                   {"p_three_MS.sql", procedure_script("p_three_MS")}});
    cb_put_clicked(window);

    EXPECT_NE(routine("p_one_ms"), "");
    EXPECT_EQ(routine("p_two_ms"), kOldTwo);  // the drop was rolled back
    EXPECT_EQ(routine("p_three_ms"), "");

    std::vector<std::string> shown;
    for (const auto& event : timeline.events()) {
        if (event.kind == Kind::kMessage) shown.push_back(event.detail + ": " + event.text);
        if (event.kind == Kind::kBeep) shown.push_back("beep " + event.text);
        if (event.kind == Kind::kRollback) shown.push_back("rollback");
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "rollback", "p_two_MS.sql: Invalid column name 'nope'.", "beep 1",
                         std::string(gs_appname) +
                             ": 更新失败！(错误信息：Invalid column name 'nope'.)"}));
    EXPECT_TRUE(server.autocommit());
    EXPECT_EQ(window.package_outcome, package::ApplyOutcome::kFailed);
}

TEST_F(Applier, AParameterNamedWithForGetsTheClauseInsideItsNameAndTheCreationFails) {
    write_package({{"p_two_MS.sql",
                    "drop procedure p_two_MS\r\ngo\r\ncreate procedure p_two_MS "
                    "@format int as\r\nbegin\r\nselect @format\r\nend"}});
    cb_put_clicked(window);
    EXPECT_EQ(executed().back(),
              "create procedure p_two_MS @ with ENCRYPTION format int as\r\nbegin\r\nselect "
              "@format\r\nend");
    EXPECT_EQ(messages().back(), "更新失败！(错误信息：Incorrect syntax near 'format'.)");
    EXPECT_EQ(routine("p_two_ms"), kOldTwo);
}

TEST_F(Applier, AutocommitFoundOffStaysOffAndEachPairIsCommitted) {
    server.set_autocommit(false);
    write_package({{"P_ONE_MS.sql", procedure_script("p_one_MS")}});
    timeline.clear();
    cb_put_clicked(window);
    EXPECT_TRUE(timeline.texts(Kind::kAutocommit).empty());
    EXPECT_FALSE(server.autocommit());
    EXPECT_NE(routine("p_one_ms"), "");  // committed, not merely pending
}

TEST_F(Applier, AMissingPackageInterruptsTheUpgrade) {
    fs::remove(package_path());
    cb_put_clicked(window);
    EXPECT_EQ(messages(), std::vector<std::string>{"数据库升级程序不全，升级操作被中断。"});
    EXPECT_TRUE(executed().empty());
    EXPECT_EQ(window.package_outcome, package::ApplyOutcome::kMissing);
}

TEST_F(Applier, AnEmptyPackageSucceedsAtOnce) {
    write_package({});
    cb_put_clicked(window);
    EXPECT_EQ(messages(), std::vector<std::string>{kUpdated});
    EXPECT_TRUE(timeline.texts(Kind::kAutocommit).empty());
}

TEST_F(Applier, AMalformedPackageStopsAfterTheLastWholeRecordAndSaysWhere) {
    write_package({{"P_ONE_MS.sql", procedure_script("p_one_MS")},
                   {"p_skipped.sql", procedure_script("p_skipped")}},
                  "$$$$$$p_three_MS.sql^^^^cut");
    cb_put_clicked(window);

    const std::string bytes = file_bytes(package_path());
    const std::string where = std::to_string(bytes.find("$$$$$$p_three") + 1);
    const std::string message = "db.dat 格式错误：从第 " + where +
                                " 字节起的记录没有结束标记 ####（文件不完整或已被改动）。"
                                "最后应用的脚本：P_ONE_MS.sql，其后的脚本未应用。";
    EXPECT_EQ(messages(), std::vector<std::string>{message});
    EXPECT_NE(routine("p_one_ms"), "");
    EXPECT_EQ(window.package_outcome, package::ApplyOutcome::kMalformed);
    // Taking the package apart without a database names the same script.
    EXPECT_EQ(PlannedBytes(bytes).plan.error, message);

    write_package({}, "@@");
    timeline.clear();
    cb_put_clicked(window);
    EXPECT_EQ(messages(),
              std::vector<std::string>{"db.dat 格式错误：文件在第 2 字节后中断，缺少结束标记 "
                                       "@@@@。最后应用的脚本：无，其后的脚本未应用。"});
}

TEST_F(Applier, TheBuildButtonWithoutTheDevelopmentFolderSaysSoAndKeepsThePackage) {
    const std::string folder = system.maintainers_script_folder();
    if (fs::exists(folder)) GTEST_SKIP() << "this machine has the folder";
    write_package({{"P_ONE_MS.sql", "x"}});
    const std::string before = file_bytes(package_path());
    cb_get_clicked(window);
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("不能读取脚本目录 " + folder, 0), 0u);
    EXPECT_EQ(file_bytes(package_path()), before);
    EXPECT_EQ(timeline.texts(Kind::kWaitCursor), (std::vector<std::string>{"on", "off"}));
}

}  // namespace
}  // namespace tessary::testing
