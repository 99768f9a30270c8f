// tessary-cli run as a user runs it: exit codes, standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "core/package_format.h"
#include "core/statements.h"
#include "core/transaction.h"
#include "host/host.h"
#include "loopback.h"
#include "odbc/odbc_transaction.h"
#include "procedure_script.h"
#include "stand_in.h"
#include "temp_dir.h"

namespace {

using tessary::testing::file_bytes;
using tessary::testing::procedure_script;
using tessary::testing::put_file;
using tessary::testing::TempDir;
namespace package = tessary::package;
namespace st = tessary::statements;

// The statements of the batch that runs on every upgrade.
const std::size_t kLastBatch = st::batch_20200117_menus.size() + st::catalogue_200327.size() +
                               st::batch_20200117_version.size() + st::batch_20200117_grant.size();

struct Outcome {
    int exit_code;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
  protected:
    // Runs tessary-cli with `arguments` (already quoted for the shell) and the registry file
    // of this test; `name` tells the outputs of runs at the same time apart.
    Outcome run(const std::string& arguments, const std::string& name = "") {
        const std::string out = dir.file("out" + name), err = dir.file("err" + name);
        const std::string command =
            (working_directory.empty() ? "" : "cd '" + working_directory + "' && ") +
            "KORVANE_REGISTRY_FILE='" + registry_file + "' TESSARY_ODBC_DRIVER= '" + program +
            "' " + arguments + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, file_bytes(out), file_bytes(err)};
    }

    void write_registry(const std::string& values) {
        std::ofstream(registry_file) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\n" << values;
    }

    static std::size_t count(const std::string& text, const std::string& piece) {
        std::size_t found = 0;
        for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
            ++found;
        return found;
    }

    TempDir dir;
    const std::string program = TESSARY_CLI;
    std::string working_directory;  // empty: the test's own
    std::string registry_file = dir.file("registry.ini");
};

TEST_F(Cli, ScriptPrintsTheWholeUpgradeInUtf8) {
    const Outcome outcome = run("script");
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    // Without --scripts the preview has no script folder, and the rebuild says so.
    EXPECT_EQ(outcome.err, u8"没有给出脚本目录，存储过程和触发器未重建\n");
    EXPECT_EQ(outcome.out.rfind("CREATE TABLE [dbo].[t_cm_sys_oper_grant] (\n", 0), 0u);
    EXPECT_EQ(count(outcome.out, "\nGO\n"), st::batch_00000000.size() + st::batch_20140722.size() +
                                                st::batch_20150825.size() + kLastBatch);
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
    EXPECT_EQ(count(outcome.out, "\nGO\n"), kLastBatch);
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

TEST_F(Cli, HelpGoesToStdoutAndBadArgumentsGiveUsageOnStderr) {
    for (const char* asked : {"--help", "-h", "help"}) {
        const Outcome help = run(asked);
        EXPECT_EQ(help.exit_code, 0) << asked;
        EXPECT_EQ(help.out.rfind("usage: tessary-cli COMMAND [OPTIONS]\n", 0), 0u);
        EXPECT_NE(help.out.find("\n  10  status: an upgrade is due\n"), std::string::npos);
        EXPECT_EQ(help.err, "");
    }
    for (const char* asked : {"help status", "status --help"}) {
        const Outcome help = run(asked);
        EXPECT_EQ(help.exit_code, 0) << asked;
        EXPECT_EQ(help.out.rfind("usage: tessary-cli status [--connection STRING] [--json]\n", 0),
                  0u);
        EXPECT_NE(help.out.find("\nexit codes:\n"), std::string::npos);
    }

    for (const char* wrong : {"", "frobnicate", "help frobnicate"}) {
        const Outcome outcome = run(wrong);
        EXPECT_EQ(outcome.exit_code, 2) << wrong;
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find("usage: tessary-cli COMMAND [OPTIONS]\n"), std::string::npos);
    }
    const Outcome outcome = run("script --from");
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_EQ(outcome.err,
              "tessary-cli: --from needs a value\n"
              "usage: tessary-cli script [--from DATE] [--scripts DIR] [--package FILE]\n"
              "(tessary-cli help script tells more)\n");
    EXPECT_EQ(run("upgrade --json --verbose").exit_code, 2);
}

TEST_F(Cli, UpgradeWithoutServerNameNamesTheMissingValue) {
    const Outcome no_file = run("upgrade");
    EXPECT_EQ(no_file.exit_code, 1);
    EXPECT_NE(no_file.err.find(u8"中缺少 DATABASE、SERVERNAME 的值（不能读取注册表文件 " +
                               dir.file("registry.ini") + ": No such file or directory）"),
              std::string::npos)
        << no_file.err;

    write_registry("DATABASE=store\n");
    const Outcome outcome = run("upgrade");
    EXPECT_NE(outcome.exit_code, 0);
    EXPECT_EQ(outcome.err,
              u8"凯岚商业管理软件: 不能连接到数据库！(错误信息：注册表 "
              u8"HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中缺少 SERVERNAME 的值)\n"
              u8"凯岚商业管理软件: 不能连接到数据库\n"
              "tessary-cli: no connection to the store database\n");
}

// A registry file in another encoding gives no values, and the message says why; the file
// is named in UTF-8 as Linux names it.
TEST_F(Cli, ARegistryFileThatIsNoGbkTextIsNamedAndAnEmptyConnectionIsNoConnection) {
    registry_file = dir.file(u8"注册表.ini");
    const std::string values = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\nDATABASE=store\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : values) utf16 += std::string{c, '\0'};
    const std::pair<std::string, std::string> files[] = {
        {"\xEF\xBB\xBF" + values, u8"以 UTF-8 的字节顺序标记开头，是 UTF-8 文本"},
        {utf16, u8"以 UTF-16 的字节顺序标记开头，是 UTF-16 文本"},
        {utf16.substr(2), u8"含有零字节，像是 UTF-16 文本"}};
    for (const auto& [bytes, encoding] : files) {
        put_file(registry_file, bytes);
        EXPECT_NE(run("status").err.find(u8"中缺少 DATABASE、SERVERNAME 的值（注册表文件 " +
                                         registry_file + " " + encoding + u8"，须存为 GBK 文本）"),
                  std::string::npos);
    }
    const Outcome empty = run("upgrade --connection ''");
    EXPECT_EQ(empty.exit_code, 2);
    EXPECT_EQ(empty.err.rfind("tessary-cli: --connection is empty", 0), 0u) << empty.err;
}

TEST_F(Cli, UpgradeAndStatusAgainstAClosedPortReportTheDriversMessage) {
    write_registry("DATABASE=store\nSERVERNAME=127.0.0.1," +
                   std::to_string(tessary::testing::closed_loopback_port()) + "\n");
    const std::string message =
        u8"不能连接到数据库！(错误信息：[FreeTDS][SQL Server]Unable to connect";

    const Outcome outcome = run("upgrade");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err.rfind(u8"凯岚商业管理软件: " + message, 0), 0u) << outcome.err;

    const Outcome status = run("status --json");
    EXPECT_EQ(status.exit_code, 1);
    EXPECT_EQ(status.out.rfind("{\"command\":\"status\",\"connected\":false,", 0), 0u)
        << status.out;
    EXPECT_NE(status.out.find("\"error\":\"" + message), std::string::npos);
    EXPECT_NE(status.out.find("\"exit_code\":1,"), std::string::npos);
}

TEST_F(Cli, UpgradeTakesTheWholeConnectionStringFromTheCommandLine) {
    write_registry("DATABASE=store\n");  // the server is the connection string's
    const Outcome outcome =
        run("upgrade --connection 'DRIVER=SQLite3;Database=" + dir.file("store.db") + "'");
    // SQLite knows no "use": the store database cannot be selected, so nothing is upgraded.
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.err.find("[SQLite]"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("tessary-cli: no connection to the store database"),
              std::string::npos);
}

// The maintainers' package tools and the preview of a script folder and a package.
class CliPackage : public Cli {
  protected:
    std::string path(const std::string& name) const { return dir.file(name); }
};

TEST_F(CliPackage, PackAndUnpackGiveARealLookingFolderBackByteForByte) {
    // Scripts as the maintainers keep them: CR LF, GBK comments (存储过程), names in mixed
    // case and one in Chinese (过程), sizes from nothing to well past 32,765 bytes.
    std::map<std::string, std::string> scripts;
    for (int i = 0; i < 24; ++i) {
        std::string body = "-- \xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc " + std::to_string(i) + "\r\n";
        for (int line = 0; line < i * i * 4; ++line) {
            body += "    select flow_no , sale_qnty from t_rm_saleflow where item_no = '" +
                    std::to_string(line) + "'\r\n";
        }
        const std::string name = (i % 3 == 0   ? "P_SALE_MS_"
                                  : i % 3 == 1 ? "p_vip_"
                                               : "Tr_Item_MS_") +
                                 std::to_string(i) + (i % 2 == 0 ? ".sql" : ".SQL");
        scripts[name] = procedure_script(name.substr(0, name.size() - 4), body);
    }
    scripts["\xb9\xfd\xb3\xcc_MS.sql"] = "-- \xb9\xfd\xb3\xcc\r\n";
    scripts["empty_MS.sql"] = "";
    for (const auto& [name, text] : scripts) put_file(dir.path() / "src" / name, text);
    put_file(dir.path() / "src" / "readme.txt", "not packed");
    ASSERT_GT(scripts["P_SALE_MS_21.SQL"].size(), 32765u);

    const Outcome packed = run("pack '" + path("src") + "' -o '" + path("pkg/db.dat") + "'");
    // The output folder must exist: pack makes no folders.
    EXPECT_EQ(packed.exit_code, 1);
    std::filesystem::create_directory(dir.path() / "pkg");
    const Outcome repacked = run("pack '" + path("src") + "' -o '" + path("pkg/db.dat") + "'");
    ASSERT_EQ(repacked.exit_code, 0) << repacked.err;
    EXPECT_EQ(count(repacked.out, "\n"), scripts.size() + 1);
    // The scripts list marks wrong are packed with a warning: the empty one, the comment.
    EXPECT_EQ(count(repacked.err, "tessary-cli: warning: "), 2u) << repacked.err;
    EXPECT_NE(repacked.err.find("warning: empty_MS.sql does not split into a drop and a creation "
                                "statement (CR LF line ends and a line GO between them)"),
              std::string::npos);
    EXPECT_EQ(repacked.out.rfind("empty_MS.sql\nP_SALE_MS_0.sql\nP_SALE_MS_12.sql\n", 0), 0u)
        << repacked.out;
    EXPECT_NE(repacked.out.find("\n26 scripts packed into " + path("pkg/db.dat") + "\n"),
              std::string::npos);

    const Outcome unpacked = run("unpack '" + path("pkg/db.dat") + "' '" + path("back") + "'");
    ASSERT_EQ(unpacked.exit_code, 0) << unpacked.err;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "back")) {
        ++files;
        const std::string name = entry.path().filename().string();
        ASSERT_EQ(scripts.count(name), 1u) << name;
        EXPECT_EQ(file_bytes(entry.path().string()), scripts[name]) << name;
    }
    EXPECT_EQ(files, scripts.size());

    const Outcome listed = run("list '" + path("pkg/db.dat") + "'");
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_EQ(listed.out.rfind("applied syntax       bytes  name\n"
                               "yes     error            0  empty_MS.sql\n",
                               0),
              0u)
        << listed.out;
    const std::string size = std::to_string(scripts["p_vip_1.SQL"].size());
    EXPECT_NE(listed.out.find("\nno      ok      " + std::string(10 - size.size(), ' ') + size +
                              "  p_vip_1.SQL\n"),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find(u8"  过程_MS.sql\n"), std::string::npos);
}

TEST_F(CliPackage, PackRefusesAScriptThatWouldSplitThePackage) {
    put_file(dir.path() / "src" / "a_MS.sql", procedure_script("a_MS", "select 1"));
    put_file(dir.path() / "src" / "bad_MS.sql", "select '####'");
    put_file(dir.path() / "db.dat", "OLD");
    const Outcome outcome = run("pack '" + path("src") + "' -o '" + path("db.dat") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err, u8"tessary-cli: 脚本 bad_MS.sql 的内容含有标记 ####，不能打包，程序包 " +
                               path("db.dat") + u8" 未更改。\n");
    EXPECT_EQ(file_bytes(path("db.dat")), "OLD");
}

TEST_F(CliPackage, UnpackAndListRefuseAMalformedPackageWithTheAppliersMessage) {
    const std::string first =
        package::record("P_ONE_MS.sql", procedure_script("p_one_MS", "select 1"));
    put_file(dir.path() / "db.dat", first + "$$$$$$p_two_MS.sql^^^^cut");
    const std::string message = "tessary-cli: " + path("db.dat") + u8": db.dat 格式错误：从第 " +
                                std::to_string(first.size() + 1) +
                                u8" 字节起的记录没有结束标记 ####（文件不完整或已被改动）。"
                                u8"最后应用的脚本：P_ONE_MS.sql，其后的脚本未应用。\n";

    const Outcome listed = run("list '" + path("db.dat") + "'");
    EXPECT_EQ(listed.exit_code, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, message);

    const Outcome unpacked = run("unpack '" + path("db.dat") + "' '" + path("back") + "'");
    EXPECT_EQ(unpacked.exit_code, 1);
    EXPECT_EQ(unpacked.err, message);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "back"));
}

TEST_F(CliPackage, UnpackWritesNothingForANameThatLeavesTheFolder) {
    put_file(dir.path() / "db.dat",
             package::record("a_MS.sql", "x") + package::record("../escape_MS.sql", "y") + "@@@@");
    const Outcome outcome = run("unpack '" + path("db.dat") + "' '" + path("back") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err,
              u8"tessary-cli: the package holds a script named \"../escape_MS.sql\", which is no "
              u8"file name (含有 Windows 文件名不允许的字符“/”); nothing written\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "back"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "escape_MS.sql"));
}

// Names Windows cannot hold are refused by pack (from a folder) and by unpack (from a
// package made elsewhere), in any case, with any extension, as Windows reads them.
TEST_F(CliPackage, NamesWindowsCannotHoldAreNeitherPackedNorUnpacked) {
    const std::map<std::string, std::string> refused = {
        {"CON.sql", u8"是 Windows 的设备名 CON"},
        {"nul .x.sql", u8"是 Windows 的设备名 NUL"},
        {"Com7.sql", u8"是 Windows 的设备名 COM7"},
        {"lpt1.sql", u8"是 Windows 的设备名 LPT1"},
        {"a\nb.sql", u8"含有控制字符 0x0A"},
        {"a|b.sql", u8"含有 Windows 文件名不允许的字符“|”"},
        {"a.sql.", u8"以点或空格结尾，Windows 会去掉它"}};
    for (const auto& [name, fault] : refused) {
        SCOPED_TRACE(name);
        put_file(dir.path() / "db.dat",
                 package::record("CONSOLE_COM10.sql", "x") + package::record(name, "y") + "@@@@");
        const Outcome unpacked = run("unpack '" + path("db.dat") + "' '" + path("back") + "'");
        EXPECT_EQ(unpacked.exit_code, 1);
        EXPECT_NE(unpacked.err.find("which is no file name (" + fault + "); nothing written"),
                  std::string::npos)
            << unpacked.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "back"));
        if (name.back() == '.') continue;  // not listed as *.sql

        std::filesystem::remove_all(dir.path() / "src");
        put_file(dir.path() / "src" / name, procedure_script("p"));
        const Outcome packed = run("pack '" + path("src") + "' -o '" + path("db.dat") + "'");
        EXPECT_EQ(packed.exit_code, 1);
        EXPECT_NE(packed.err.find(u8" 的名称" + fault + u8"，不能打包，程序包 "), std::string::npos)
            << packed.err;
    }
}

// Names Windows takes for one file, or too long to be written with the temporary suffix,
// are refused before anything is written, naming the scripts.
TEST_F(CliPackage, NamesThatCannotAllBeWrittenAreRefusedBeforeAnything) {
    put_file(dir.path() / "src" / "p_MS.sql", "x");
    put_file(dir.path() / "src" / "P_MS.SQL", "x");
    EXPECT_NE(run("pack '" + path("src") + "' -o '" + path("db.dat") + "'")
                  .err.find(u8"脚本 P_MS.SQL 和 p_MS.sql 的名称只差字母的大小写"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "db.dat"));

    const std::string ascii = std::string(250, 'x') + ".sql";
    std::string chinese;  // 240 bytes: fine on Windows, too long for a Linux name
    for (int i = 0; i < 120; ++i) chinese += tessary::host::utf8_to_gbk(u8"淺");
    const std::pair<std::string, std::string> refused[] = {
        {"P_MS.SQL", "the scripts p_MS.sql and P_MS.SQL, whose names differ in letter case"},
        {ascii, ascii + u8"\", which is no file name (连同写入时的临时后缀共 275 个字符，超过了 "
                        u8"Windows 文件名的上限 255); nothing written"},
        {chinese, tessary::host::gbk_to_utf8(chinese) + " cannot be written to " + path("back") +
                      u8" (名称连同写入时的临时后缀共 261 字节，超过了本系统的上限 255)"}};
    for (const auto& [name, fault] : refused) {
        put_file(dir.path() / "db.dat",
                 package::record("p_MS.sql", "x") + package::record(name, "y") + "@@@@");
        const Outcome unpacked = run("unpack '" + path("db.dat") + "' '" + path("back") + "'");
        EXPECT_NE(unpacked.err.find(fault), std::string::npos) << unpacked.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "back"));
    }
}

TEST_F(CliPackage, ScriptPreviewsTheRebuildAndThePackageWhereTheRunSendsThem) {
    put_file(dir.path() / "32k" / "p_a_MS.sql",
             "create procedure p_a_MS as\r\nbegin\r\nend\r\nGO\r\n");
    put_file(dir.path() / "db.dat",
             package::record("p_b_MS.sql", procedure_script("p_b_MS", "select 2")) +
                 package::record("p_c.sql", procedure_script("p_c", "select 3")) + "@@@@");
    const Outcome outcome = run("script --from 20200117 --scripts '" + path("32k") +
                                "' --package '" + path("db.dat") + "'");
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.err,
              u8"p_a_MS.sql\np_a_MS.sql完成\n提示: 存储过程重建成功\n"
              u8"凯岚商业管理软件: 更新成功！\n");

    const auto version = outcome.out.find("'V8 20191014'");
    const auto rebuilt = outcome.out.find("\n\ncreate procedure p_a_MS as\nbegin\nend\nGO\n");
    const auto grant = outcome.out.find("insert t_sys_oper_grant select");
    const std::string pair =
        "\nGO\ndrop procedure p_b_MS\nGO\ncreate procedure p_b_MS  with ENCRYPTION "
        "as\r\nbegin\r\nselect 2\r\nend\r\n\nGO\n";
    ASSERT_NE(rebuilt, std::string::npos) << outcome.out;
    EXPECT_LT(version, rebuilt);
    EXPECT_LT(rebuilt, grant);
    EXPECT_EQ(outcome.out.substr(outcome.out.size() - pair.size()), pair);
    EXPECT_EQ(outcome.out.find("procedure p_c"), std::string::npos);
}

TEST_F(CliPackage, ScriptFailsOnAFolderOrPackageItCannotRead) {
    Outcome outcome = run("script --scripts '" + path("missing") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("tessary-cli: cannot read " + path("missing") + ": ", 0), 0u);

    outcome = run("script --from 20200117 --package '" + path("db.dat") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.err.find(u8"凯岚商业管理软件: 数据库升级程序不全，升级操作被中断。\n"),
              std::string::npos);
    EXPECT_NE(outcome.err.find("tessary-cli: the package " + path("db.dat") + " does not exist"),
              std::string::npos);
}

// tessary-cli against the SQL Server stand-in through unixODBC and FreeTDS's driver. It runs
// in the test's folder, where db.dat lies and its run log lands.
class CliFreeTds : public CliPackage {
  protected:
    void SetUp() override { working_directory = dir.path().string(); }

    void start(const std::vector<std::string>& arguments) {
        stand_in.emplace(dir, arguments);
        write_registry("DATABASE=store\nSERVERNAME=" + stand_in->server_name() +
                       "\nPATH=" + path("pos") + "\n");
    }

    std::string run_log() const {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename().string().rfind("tessary-upgrade-", 0) == 0) {
                return file_bytes(entry.path().string());
            }
        }
        return {};
    }

    // What the upgrade leaves in a database, read back through tsql.
    std::string upgraded_state(const std::string& database) const {
        std::string batches =
            "select sys_var_value from t_sys_system where sys_var_id = "
            "'UPGRADE_DATE'\ngo\nselect sys_var_value from t_sys_system where "
            "sys_var_id = 'DataBase_Version'\ngo\n";
        for (const char* menu : {"6211", "4120", "6212", "6215", "6216", "6217", "1227", "1222"}) {
            batches += "select menu_name from t_sys_menu where menu_id = '" + std::string(menu) +
                       "'\ngo\n";
        }
        batches += "select pay_name from t_bd_payment_info where pay_way = 'LEP'\ngo\n";
        for (const char* routine : {"p_rebuilt", "p_packed_MS"}) {
            batches +=
                "select count(*) from sysobjects where name = '" + std::string(routine) + "'\ngo\n";
        }
        return stand_in->tsql(database, batches);
    }

    static std::string upgraded(bool rebuilt, bool packed) {
        return std::string(
                   u8"20200117\nV8 20191014\n储值卡余额查询\n移动支付设置\n储值充值方案\n"
                   u8"微商店管理\n微订单业务设置\n微订单查询\n微商店多规格商品设置\n"
                   u8"批量修改商品信息\n零钱包支付\n") +
               (rebuilt ? "1\n" : "0\n") + (packed ? "1\n" : "0\n");
    }

    static std::string packed_procedure(const std::string& parameters) {
        return package::record("P_PACKED_MS.sql",
                               "drop procedure p_packed_MS\r\ngo\r\ncreate procedure p_packed_MS " +
                                   parameters + "as\r\nbegin\r\nselect 2\r\nend\r\n") +
               "@@@@";
    }

    std::optional<tessary::testing::StandIn> stand_in;
};

TEST_F(CliFreeTds, UpgradesBothDatabasesFromANewInstallation) {
    start({"--database", "store", "--database", "SorVanth"});
    put_file(dir.path() / "pos" / "32k" / "p_rebuilt.sql",
             "create procedure p_rebuilt as\r\nbegin\r\nselect 1\r\nend\r\nGO\r\n");
    put_file(dir.path() / "db.dat", packed_procedure(""));

    const Outcome outcome = run("upgrade");
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    // Per database: two selects of the date, the row insert (refused: the row exists), the
    // 191 statements of the batches and the catalogue, the rebuilt script, and the package's
    // drop (refused: nothing to drop) and create; and the switch to the second database.
    EXPECT_NE(outcome.err.find(u8"发送语句 395 条，成功 391 条，失败 4 条"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(upgraded_state("store"), upgraded(true, true));
    EXPECT_EQ(upgraded_state("SorVanth"), upgraded(true, true));

    // Read uncommitted from the start; the first pass in autocommit, so no transaction
    // request comes before the package's; the second database found in its own spelling.
    const std::string log = stand_in->log();
    EXPECT_NE(log.find("#1 login korvane to store, TDS 7.4\n"
                       "#1 batch: SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED\n"
                       "#1 batch: use master\n"),
              std::string::npos)
        << log;
    EXPECT_LT(log.find("batch: insert t_sys_oper_grant"), log.find("transaction manager"));
    EXPECT_LT(log.find("transaction manager"), log.find("batch: drop procedure p_packed_MS"));
    EXPECT_NE(log.find("#1 batch: use [SorVanth]\n"), std::string::npos);
}

TEST_F(CliFreeTds, UpgradesFromAMiddleDate) {
    start({"--database", "store", "--upgrade-date", "20150825"});
    put_file(dir.path() / "db.dat", "@@@@");
    write_registry("DATABASE=store\nSERVERNAME=" + stand_in->server_name() + "\n");

    const Outcome outcome = run("upgrade");
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_NE(outcome.err.find(u8"发送语句 182 条，成功 182 条，失败 0 条"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(upgraded_state("store"), upgraded(false, false));
    EXPECT_EQ(stand_in->log().find("maf_price_memo"), std::string::npos);
}

TEST_F(CliFreeTds, ASecondRunPassesOverErrorsAndAFailedCreationKeepsTheOldProcedure) {
    start({"--database", "store"});
    put_file(dir.path() / "db.dat", packed_procedure(""));
    ASSERT_EQ(run("upgrade").exit_code, 0);

    // The rewritten header puts " with ENCRYPTION " before the "for" of @for_x: refused.
    put_file(dir.path() / "db.dat", packed_procedure("@for_x int "));
    const Outcome outcome = run("upgrade");
    EXPECT_EQ(outcome.exit_code, 4);
    const std::string error =
        "[FreeTDS][SQL Server]Incorrect syntax near 'for_x'. (SQLSTATE 42000)";
    EXPECT_NE(outcome.err.find("P_PACKED_MS.sql: " + error +
                               u8"\n凯岚商业管理软件: "
                               u8"更新失败！(错误信息：" +
                               error + ")\n"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(stand_in->tsql("store",
                             "select count(*) from sysobjects where name = "
                             "'p_packed_MS'\ngo\n"),
              "1\n");
    const std::string log = stand_in->log();
    EXPECT_NE(log.find("error 102: Incorrect syntax near 'for_x'.\n#2 transaction manager: "
                       "rollback and begin\n"),
              std::string::npos)
        << log;

    // SQL Server's numbers and texts in the run log; the run went on past them.
    const std::string run_log_text = run_log();
    const auto exists = run_log_text.find(
        "-- error -1 (database error 2714, expected): [FreeTDS][SQL Server]There is already an "
        "object named 't_order_bill_weixin' in the database. (SQLSTATE 42S01)\n");
    ASSERT_NE(exists, std::string::npos) << run_log_text;
    EXPECT_NE(run_log_text.find("-- error -1 (database error 2705, expected): [FreeTDS][SQL "
                                "Server]Column names in each table must be unique."),
              std::string::npos);
    EXPECT_LT(exists, run_log_text.rfind("insert t_sys_oper_grant select"));
}

TEST_F(CliFreeTds, StatusChangesNothingAndTheExitCodesTellWhatTheUpgradeMet) {
    start({"--database", "store", "--upgrade-date", "20150825"});
    put_file(dir.path() / "db.dat", "@@@@");
    // A rebuild script the server refuses: an unexpected failure, passed over.
    put_file(dir.path() / "pos" / "32k" / "p_broken.sql", "frobnicate the tables\r\nGO\r\n");

    const Outcome due = run("status --json");
    EXPECT_EQ(due.exit_code, 10) << due.err;
    EXPECT_NE(due.out.find("\"upgrade_date\":\"20150825\""), std::string::npos) << due.out;
    EXPECT_NE(due.err.find("upgrade due\n"), std::string::npos);
    EXPECT_EQ(stand_in->log().find("batch: update"), std::string::npos);

    const Outcome upgraded = run("upgrade");
    EXPECT_EQ(upgraded.exit_code, 3) << upgraded.err;
    EXPECT_NE(upgraded.err.find(u8"未预期的错误（50000）：frobnicate the tables："),
              std::string::npos)
        << upgraded.err;
    EXPECT_EQ(run("status").exit_code, 0);
}

// The run lock over the wire: a session of another program holds it, then two upgrades
// start together.
TEST_F(CliFreeTds, TheRunLockKeepsASecondUpgradeOffTheServer) {
    start({"--database", "store"});
    put_file(dir.path() / "db.dat", "@@@@");
    tessary::odbc::OdbcTransaction holder(
        "DRIVER=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(stand_in->port()) +
        ";Database=store;UID=korvane;PWD=tqzvbno;");
    holder.connect();
    ASSERT_EQ(holder.sqlcode(), tessary::Transaction::kSuccess) << holder.sqlerrtext();
    std::optional<std::string> granted;
    holder.select_into(std::string(st::take_run_lock), granted);
    ASSERT_EQ(granted, "0") << holder.sqlerrtext();

    const Outcome refused = run("upgrade");
    EXPECT_EQ(refused.exit_code, 5);
    EXPECT_NE(refused.err.find(u8"凯岚商业管理软件: 另一个升级正在进行，请稍后再试\n"),
              std::string::npos)
        << refused.err;
    const std::string after_refusal = stand_in->log();
    EXPECT_EQ(after_refusal.find("t_cm_sys_oper_grant"), std::string::npos);  // no batch ran

    holder.disconnect();
    std::vector<int> codes(2);
    std::vector<std::thread> runs;
    for (int i = 0; i < 2; ++i) {
        runs.emplace_back([&, i] { codes[i] = run("upgrade", std::to_string(i)).exit_code; });
    }
    for (auto& thread : runs) thread.join();
    // Either one ran while the other was refused, or one after the other.
    EXPECT_TRUE((codes[0] == 0 || codes[0] == 5) && (codes[1] == 0 || codes[1] == 5)) << codes[0];
    EXPECT_TRUE(codes[0] == 0 || codes[1] == 0);
    EXPECT_EQ(upgraded_state("store"), upgraded(false, false));

    // Between one session's lock and its release no other session sent a batch of the run.
    std::istringstream log(stand_in->log().substr(after_refusal.size()));
    std::string holding;
    for (std::string line; std::getline(log, line);) {
        const std::string session = line.substr(0, line.find(' '));
        if (line.find("sp_getapplock") != std::string::npos && holding.empty()) {
            holding = session;
        } else if (line.find("sp_releaseapplock") != std::string::npos && session == holding) {
            holding.clear();
        } else if (!holding.empty() && session != holding) {
            EXPECT_EQ(line.find("t_sys_system"), std::string::npos) << line;
            EXPECT_EQ(line.find("insert"), std::string::npos) << line;
        }
    }
}

// Names that SQL Server must quote, one holding 倉 (82 7D), reach the server whole; an unknown
// date and a missing db.dat are told apart, in the run log too.
TEST_F(CliFreeTds, QuotedDatabaseNamesAnUnknownDateAndAMissingPackage) {
    const std::string warehouse = tessary::host::utf8_to_gbk(u8"倉庫");
    stand_in.emplace(dir, std::vector<std::string>{"--database", warehouse, "--database",
                                                   "store-01", "--upgrade-date", "20191014"});
    for (const std::string& database : {warehouse, std::string("store-01")}) {
        write_registry("DATABASE=" + database + "\nSERVERNAME=" + stand_in->server_name() + "\n");
        const Outcome outcome = run("upgrade");
        const std::string shown = tessary::host::gbk_to_utf8(database);
        EXPECT_NE(outcome.err.find("db.dat is not in the working folder " + path("") +
                                   ": the script package was not applied\ntessary-cli: the "
                                   "database " +
                                   shown + " records the upgrade date 20191014"),
                  std::string::npos)
            << outcome.err;
        EXPECT_NE(stand_in->log().find("batch: use [" + shown + "]\n"), std::string::npos);
    }
    const std::string log = tessary::host::gbk_to_utf8(run_log());
    EXPECT_NE(log.find(u8"（数据库 store-01 记录的升级日期 20191014 不是本程序的升级日期 "
                       u8"00000000、20140722、20150825、20200117，批次未运行）"),
              std::string::npos);
    EXPECT_NE(log.find(u8"（文件夹 " + path("") + u8" 中没有程序包 db.dat，未应用）"),
              std::string::npos);
}

// Registry values that would add connection attributes are refused before a login; a link
// that drops mid-upgrade ends the run there, as a failure.
TEST_F(CliFreeTds, ALostLinkEndsTheRunAndRegistryValuesCannotAddAttributes) {
    start({"--database", "store", "--cut-at-batch", "45"});
    const std::string port = std::to_string(stand_in->port());
    const std::string in_key = u8"(错误信息：注册表 HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中 ";
    const std::pair<std::string, std::string> refused[] = {
        {"DATABASE=store};UID=sa;{\nSERVERNAME=127.0.0.1," + port,
         u8"DATABASE 的值“store};UID=sa;{”含有字符“}”，不能原样用于连接)"},
        {"DATABASE=store\nSERVERNAME=127.0.0.1;Port=" + port,
         u8"SERVERNAME 的值“127.0.0.1;Port=" + port + u8"”含有字符“;”，不能原样用于连接)"},
        {"DATABASE=store\nSERVERNAME=127.0.0.1," + std::to_string(4294967296 + stand_in->port()),
         u8"SERVERNAME 的端口“" + std::to_string(4294967296 + stand_in->port()) +
             u8"”不是 1 到 65535 之间的数)"},
        {"DATABASE=store\nSERVERNAME=127.0.0.1," + port + "x",
         u8"SERVERNAME 的端口“" + port + u8"x”不是 1 到 65535 之间的数)"}};
    for (const auto& [values, fault] : refused) {
        write_registry(values + "\n");
        const Outcome outcome = run("upgrade");
        EXPECT_EQ(outcome.exit_code, 1);
        EXPECT_NE(outcome.err.find(in_key + fault), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(stand_in->log().find("login"), std::string::npos);

    put_file(dir.path() / "db.dat", packed_procedure(""));
    write_registry("DATABASE=store\nSERVERNAME=" + stand_in->server_name() + "\n");
    const Outcome cut = run("upgrade --json");
    EXPECT_EQ(cut.exit_code, 1) << cut.err;
    EXPECT_NE(cut.err.find(u8"凯岚商业管理软件: 与数据库服务器的连接已断开，升级在数据库 store "
                           u8"的“批次 20150825”一步中断，其后的语句均未发送。(错误信息："),
              std::string::npos)
        << cut.err;
    EXPECT_NE(cut.err.find("tessary-cli: the connection to the server was lost in the database "
                           u8"store at the step 批次 20150825; the run stopped there"),
              std::string::npos);
    EXPECT_EQ(cut.err.find(u8"更新成功"), std::string::npos);
    EXPECT_EQ(count(cut.err, u8"未预期的错误"), 1u) << cut.err;  // the cut statement alone
    EXPECT_NE(cut.out.find(u8"\"connection_lost\":{\"database\":\"store\",\"error\":"),
              std::string::npos)
        << cut.out;
    EXPECT_EQ(cut.out.find("\"package\":\"applied\""), std::string::npos);
    EXPECT_NE(cut.out.find("\"batches_run\":[\"00000000\",\"20140722\"]"), std::string::npos);
    EXPECT_NE(stand_in->log().find("#1 cut: "), std::string::npos);
    // Batches 1 and 2 ran to their ends; batch 3 did not get to advance the date.
    EXPECT_EQ(stand_in->tsql("store",
                             "select sys_var_value from t_sys_system where sys_var_id = "
                             "'UPGRADE_DATE'\ngo\n"),
              "20150825\n");
}

TEST_F(CliFreeTds, AWrongPasswordShowsTheConnectionMessageWithFreeTdsText) {
    start({"--database", "store"});
    const Outcome outcome = run("upgrade --connection 'DRIVER=FreeTDS;Server=127.0.0.1;Port=" +
                                std::to_string(stand_in->port()) +
                                ";Database=store;UID=korvane;PWD=wrong;ClientCharset=GBK;'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err,
              u8"凯岚商业管理软件: 不能连接到数据库！(错误信息：[FreeTDS][SQL Server]Login failed "
              u8"for user 'korvane'. (SQLSTATE 42000)\n[FreeTDS][SQL Server]Unable to connect to "
              u8"data source (SQLSTATE 08001))\n凯岚商业管理软件: 不能连接到数据库\n"
              "tessary-cli: no connection to the store database\n");
}

}  // namespace
