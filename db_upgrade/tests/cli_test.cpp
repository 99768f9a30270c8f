// tessary-cli run as a user runs it: exit codes, standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "loopback.h"
#include "temp_dir.h"

namespace {

using tessary::testing::TempDir;

struct Outcome {
    int exit_code;
    std::string out;
    std::string err;
};

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class Cli : public ::testing::Test {
  protected:
    // Runs tessary-cli with `arguments` (already quoted for the shell) and the registry file
    // of this test.
    Outcome run(const std::string& arguments) {
        const std::string command = "KORVANE_REGISTRY_FILE='" + dir.file("registry.ini") +
                                    "' TESSARY_ODBC_DRIVER= '" TESSARY_CLI "' " + arguments +
                                    " >'" + dir.file("out") + "' 2>'" + dir.file("err") + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir.file("out")),
                read_file(dir.file("err"))};
    }

    void write_registry(const std::string& values) {
        std::ofstream(dir.file("registry.ini")) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\n"
                                                << values;
    }

    static std::size_t count(const std::string& text, const std::string& piece) {
        std::size_t found = 0;
        for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
            ++found;
        return found;
    }

    TempDir dir;
};

TEST_F(Cli, ScriptPrintsTheWholeUpgradeInUtf8) {
    const Outcome outcome = run("script");
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    // Without --scripts the preview has no script folder, and the rebuild says so.
    EXPECT_EQ(outcome.err,
              u8"注册表 HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中缺少 PATH "
              u8"的值，存储过程和触发器未重建\n");
    EXPECT_EQ(outcome.out.rfind("CREATE TABLE [dbo].[t_cm_sys_oper_grant] (\n", 0), 0u);
    EXPECT_EQ(count(outcome.out, "\nGO\n"), 5u + 6u + 30u + 4u + 144u + 1u + 1u);
    EXPECT_NE(
        outcome.out.find(u8"\ninsert into t_bd_payment_info values ( 'LEP' , '0' , '零钱包支付' , "
                         u8"1 , 0 , null , '1' , '系统默认' ) \nGO\n"),
        std::string::npos);
    const std::string last = "( 'E' , 'F' ) COMMIT \nGO\n";
    EXPECT_EQ(outcome.out.substr(outcome.out.size() - last.size()), last);
}

TEST_F(Cli, ScriptFromALaterDateStartsWithItsBatch) {
    const Outcome outcome = run("script --from 20200117");
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(count(outcome.out, "\nGO\n"), 150u);
    EXPECT_EQ(outcome.out.rfind("insert into t_sys_menu ( menu_id ,", 0), 0u);
}

TEST_F(Cli, ScriptFromADateThatIsNoGateShowsTheMessageAndFails) {
    const Outcome outcome = run("script --from 20191014");
    EXPECT_NE(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind(u8"提示: 数据库升级程序不全，升级操作被中断。\n", 0), 0u)
        << outcome.err;
    EXPECT_EQ(count(outcome.err, "\n"), 2u);
}

TEST_F(Cli, BadArgumentsGiveUsage) {
    EXPECT_EQ(run("").exit_code, 2);
    EXPECT_EQ(run("frobnicate").exit_code, 2);
    const Outcome outcome = run("script --from");
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_EQ(outcome.err, "tessary-cli: --from needs a value\n");
}

TEST_F(Cli, UpgradeWithoutServerNameNamesTheMissingValue) {
    write_registry("DATABASE=store\n");
    const Outcome outcome = run("upgrade");
    EXPECT_NE(outcome.exit_code, 0);
    EXPECT_EQ(outcome.err,
              u8"凯岚商业管理软件: 不能连接到数据库！(错误信息：注册表 "
              u8"HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中缺少 SERVERNAME 的值)\n"
              u8"凯岚商业管理软件: 不能连接到数据库\n"
              "tessary-cli: no connection to the store database\n");
}

TEST_F(Cli, UpgradeAgainstAClosedPortReportsTheDriversMessage) {
    write_registry("DATABASE=store\nSERVERNAME=127.0.0.1," +
                   std::to_string(tessary::testing::closed_loopback_port()) + "\n");

    const Outcome outcome = run("upgrade");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err.rfind(u8"凯岚商业管理软件: 不能连接到数据库！(错误信息：[FreeTDS][SQL "
                                u8"Server]Unable to connect",
                                0),
              0u)
        << outcome.err;
}

TEST_F(Cli, UpgradeTakesTheWholeConnectionStringFromTheCommandLine) {
    write_registry("DATABASE=store\nSERVERNAME=unused\n");
    const Outcome outcome =
        run("upgrade --connection 'DRIVER=SQLite3;Database=" + dir.file("store.db") + "'");
    // SQLite knows no "use": the store database cannot be selected, so nothing is upgraded.
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.err.find("[SQLite]"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("tessary-cli: no connection to the store database"),
              std::string::npos);
}

}  // namespace
