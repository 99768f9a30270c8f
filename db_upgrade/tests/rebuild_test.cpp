// The procedure rebuild: wf_get_sql_go on script texts, wf_exec_sql on script folders.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;
namespace fs = std::filesystem;

struct Split {
    const char* what;
    std::string script;
    bool ok;
    std::string create;  // as_create afterwards
    std::string drop;    // as_drop afterwards ("-" when left alone)
};

class GetSqlGo : public ::testing::TestWithParam<Split> {};

TEST_P(GetSqlGo, SplitsDropFromEncryptedCreation) {
    std::string as_create = GetParam().script;
    std::string as_drop = "-";
    EXPECT_EQ(wf_get_sql_go(as_create, as_drop), GetParam().ok);
    EXPECT_EQ(as_create, GetParam().create);
    EXPECT_EQ(as_drop, GetParam().drop);
}

const std::string k199(199, ' ');

INSTANTIATE_TEST_SUITE_P(
    Scripts, GetSqlGo,
    ::testing::Values(
        Split{"procedure",
              "drop procedure p\r\ngo\r\ncreate procedure p as\r\nbegin\r\nselect 1\r\nend", true,
              "create procedure p  with ENCRYPTION as\r\nbegin\r\nselect 1\r\nend",
              "drop procedure p"},
        Split{"trigger: before its last for",
              "drop trigger t\r\ngo\r\ncreate trigger t on x for insert as\r\nbegin\r\nend\r\n",
              true, "create trigger t on x  with ENCRYPTION for insert as\r\nbegin\r\nend\r\n",
              "drop trigger t"},
        Split{"capitals, blanks around the script",
              "  DROP PROCEDURE P\r\nGO\r\nCREATE PROCEDURE P AS\r\nBEGIN\r\nEND  ", true,
              "CREATE PROCEDURE P  with ENCRYPTION AS\r\nBEGIN\r\nEND", "DROP PROCEDURE P"},
        Split{"for inside a parameter name",
              "drop procedure p\r\ngo\r\ncreate procedure p @format int as\r\nbegin\r\nend", true,
              "create procedure p @ with ENCRYPTION format int as\r\nbegin\r\nend",
              "drop procedure p"},
        Split{"create ending at byte 200",
              "drop p\r\ngo\r\n" + std::string(181, 'x') + "create p as begin end", true,
              "create p  with ENCRYPTION as begin end", "drop p"},
        Split{"create beyond byte 200",
              "drop p\r\ngo\r\n" + std::string(182, 'x') + "create p as begin end", false,
              "drop p\r\ngo\r\n" + std::string(182, 'x') + "create p as begin end", "-"},
        Split{"tab after create", "drop p\r\ngo\r\ncreate\tprocedure p as begin end", false,
              "drop p\r\ngo\r\ncreate\tprocedure p as begin end", "-"},
        Split{"no begin", "drop p\r\ngo\r\ncreate procedure p as select 1", false,
              "create procedure p as select 1", "-"},
        Split{"no as", "drop p\r\ngo\r\ncreate procedure p begin end", false,
              "create procedure p begin end", "-"},
        Split{"drop ended by a bare line feed", "drop p\ngo\ncreate procedure p as begin end",
              false, "create procedure p  with ENCRYPTION as begin end", "-"},
        Split{"no drop", "create procedure p as begin end", false,
              "create procedure p  with ENCRYPTION as begin end", "-"},
        // A double-byte character whose second byte has the value of "A" is no letter, so
        // "\x81\x41S" does not read as "as".
        Split{"double-byte character", "drop p\r\ngo\r\ncreate procedure p_\x81\x41S begin end",
              false, "create procedure p_\x81\x41S begin end", "-"}),
    [](const ::testing::TestParamInfo<Split>& split) {
        std::string name;
        for (const char* c = split.param.what; *c != '\0'; ++c) {
            const bool alnum = std::isalnum(static_cast<unsigned char>(*c)) != 0;
            if (alnum) name += *c;
            if (!alnum && !name.empty() && name.back() != '_') name += '_';
        }
        return name;
    });

class ExecSql : public CoreFixture {
  protected:
    void SetUp() override {
        server.add_database(store_database("store", "20200117"));
        ASSERT_TRUE(open_window());
        timeline.clear();
    }
    void script(const std::string& name, const std::string& text) {
        put_file(scripts_dir() / name, text);
    }
};

const std::string kRebuilt =
    "\xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc\xd6\xd8\xbd\xa8\xb3\xc9\xb9\xa6";  // 存储过程重建成功

TEST_F(ExecSql, RunsTheScriptsInNameOrderBatchByBatch) {
    script("b.sql", "select 2\r\nGO\r\n");
    script("A.SQL", "select 1\r\nselect 11\r\nGO\r\n");
    script("c.Sql", "select 3\r\ngo\r\n");
    script("notes.txt", "select 0\r\nGO\r\n");
    wf_exec_sql(window);

    EXPECT_EQ(executed(),
              (std::vector<std::string>{"\nselect 1\nselect 11", "\nselect 2", "\nselect 3"}));
    EXPECT_EQ(timeline.texts(Kind::kFileList), std::vector<std::string>{"A.SQL\nb.sql\nc.Sql\n"});
    // Each line goes on top of the progress list, so the calls come oldest first.
    EXPECT_EQ(timeline.texts(Kind::kProgress),
              (std::vector<std::string>{"A.SQL", "A.SQL\xcd\xea\xb3\xc9", "b.sql", "b.sql完成",
                                        "c.Sql", "c.Sql完成"}));
    const auto shown = events_of(Kind::kMessage);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].detail, "\xcc\xe1\xca\xbe");  // 提示
    EXPECT_EQ(shown[0].text, kRebuilt);
}

TEST_F(ExecSql, OnlyALineThatIsExactlyGoEndsABatch) {
    script("p.sql", "a\r\nGo\r\n GO\r\nGO;\r\ngo \r\nb\nGO\n\r\ngO\r\nGOGO\r\n");
    wf_exec_sql(window);
    EXPECT_EQ(executed(), (std::vector<std::string>{"\na", "\n GO\nGO;\ngo \nb", "\n", "\nGOGO"}));
}

TEST_F(ExecSql, TextAfterTheLastGoIsTheScriptsOwnLastBatch) {
    script("1.sql", "select 1\r\nGO\r\nselect 2");
    script("2.sql", "select 3\r\nGO\r\n\r\n  \r\n");
    script("3.sql", "select 4\r\n");
    wf_exec_sql(window);
    EXPECT_EQ(executed(),
              (std::vector<std::string>{"\nselect 1", "\nselect 2", "\nselect 3", "\nselect 4"}));
}

TEST_F(ExecSql, BatchesReachTheDatabaseAndItsRefusalsAreSkipped) {
    script("p_MS.sql",
           "SET QUOTED_IDENTIFIER ON\r\nGO\r\ncreate procedure p_MS as\r\nbegin\r\nselect "
           "1\r\nend\r\nGO\r\n");
    wf_exec_sql(window);
    const auto runs = events_of(Kind::kExecute);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_FALSE(runs[0].ok);
    EXPECT_TRUE(runs[1].ok);
    EXPECT_EQ(db("store").routines.at("p_ms").creation,
              "\ncreate procedure p_MS as\nbegin\nselect 1\nend");
    EXPECT_EQ(timeline.texts(Kind::kMessage), std::vector<std::string>{kRebuilt});
}

TEST_F(ExecSql, WithoutPathNothingIsRebuiltAndTheProgressListSaysWhy) {
    for (const char* path : {"", "  "}) {
        script("p.sql", "select 1\r\nGO\r\n");
        system.registry["PATH"] = path;
        wf_exec_sql(window);
    }
    system.registry.erase("PATH");
    wf_exec_sql(window);

    const std::string line =
        "注册表 HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中缺少 PATH 的值，存储过程和触发器未重建";
    EXPECT_EQ(timeline.texts(Kind::kProgress), std::vector<std::string>(3, line));
    EXPECT_TRUE(executed().empty());
    EXPECT_TRUE(timeline.texts(Kind::kMessage).empty());
}

TEST_F(ExecSql, AMissingScriptFolderOrScriptIsReportedNotRebuilt) {
    script("a.sql", "select 1\r\nGO\r\n");
    {
        const UnreadableFile unreadable(scripts_dir() / "b.sql");
        wf_exec_sql(window);
    }
    const auto lines = timeline.texts(Kind::kProgress);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].rfind("b.sql 不能读取：", 0), 0u) << lines[3];
    EXPECT_EQ(executed(), std::vector<std::string>{"\nselect 1"});

    fs::remove_all(scripts_dir());
    timeline.clear();
    wf_exec_sql(window);
    const std::string folder = (install_dir.path() / "32k").string() + system.path_separator();
    EXPECT_EQ(timeline.texts(Kind::kProgress).at(0).rfind("不能读取脚本目录 " + folder + "：", 0),
              0u);
    EXPECT_TRUE(timeline.texts(Kind::kMessage).empty());
}

}  // namespace
}  // namespace tessary::testing
