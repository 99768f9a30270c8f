// tessary-cli run as a user runs it: exit codes, standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/statements.h"
#include "loopback.h"
#include "temp_dir.h"

namespace {

using tessary::testing::TempDir;
namespace st = tessary::statements;

// The statements of the batch that runs on every upgrade.
const std::size_t kLastBatch = st::batch_20200117_menus.size() + st::catalogue_200327.size() +
                               st::batch_20200117_version.size() + st::batch_20200117_grant.size();

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

// The maintainers' package tools and the preview of a script folder and a package.
class CliPackage : public Cli {
  protected:
    static void put(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string reversed(std::string text) {
        return std::string(text.rbegin(), text.rend());
    }
    static std::string record(const std::string& name, const std::string& text) {
        return "$$$$$$" + name + "^^^^" + reversed(text) + "####";
    }
    static std::string procedure(const std::string& name, const std::string& body) {
        return "drop procedure " + name + "\r\ngo\r\ncreate procedure " + name +
               " as\r\nbegin\r\n" + body + "\r\nend\r\n";
    }
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
        scripts[name] = procedure(name.substr(0, name.size() - 4), body);
    }
    scripts["\xb9\xfd\xb3\xcc_MS.sql"] = "-- \xb9\xfd\xb3\xcc\r\n";
    scripts["empty_MS.sql"] = "";
    for (const auto& [name, text] : scripts) put(dir.path() / "src" / name, text);
    put(dir.path() / "src" / "readme.txt", "not packed");
    ASSERT_GT(scripts["P_SALE_MS_21.SQL"].size(), 32765u);

    const Outcome packed = run("pack '" + path("src") + "' -o '" + path("pkg/db.dat") + "'");
    // The output folder must exist: pack makes no folders.
    EXPECT_EQ(packed.exit_code, 1);
    std::filesystem::create_directory(dir.path() / "pkg");
    const Outcome repacked = run("pack '" + path("src") + "' -o '" + path("pkg/db.dat") + "'");
    ASSERT_EQ(repacked.exit_code, 0) << repacked.err;
    EXPECT_EQ(count(repacked.out, "\n"), scripts.size() + 1);
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
        EXPECT_EQ(read_file(entry.path().string()), scripts[name]) << name;
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
    put(dir.path() / "src" / "a_MS.sql", procedure("a_MS", "select 1"));
    put(dir.path() / "src" / "bad_MS.sql", "select '####'");
    put(dir.path() / "db.dat", "OLD");
    const Outcome outcome = run("pack '" + path("src") + "' -o '" + path("db.dat") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err, u8"tessary-cli: 脚本 bad_MS.sql 的内容含有标记 ####，不能打包，程序包 " +
                               path("db.dat") + u8" 未更改。\n");
    EXPECT_EQ(read_file(path("db.dat")), "OLD");
}

TEST_F(CliPackage, UnpackAndListRefuseAMalformedPackageWithTheAppliersMessage) {
    const std::string first = record("P_ONE_MS.sql", procedure("p_one_MS", "select 1"));
    put(dir.path() / "db.dat", first + "$$$$$$p_two_MS.sql^^^^cut");
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
    put(dir.path() / "db.dat", record("a_MS.sql", "x") + record("../escape_MS.sql", "y") + "@@@@");
    const Outcome outcome = run("unpack '" + path("db.dat") + "' '" + path("back") + "'");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err,
              "tessary-cli: the package holds a script named \"../escape_MS.sql\", which is no "
              "file name; nothing written\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "back"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "escape_MS.sql"));
}

TEST_F(CliPackage, ScriptPreviewsTheRebuildAndThePackageWhereTheRunSendsThem) {
    put(dir.path() / "32k" / "p_a_MS.sql", "create procedure p_a_MS as\r\nbegin\r\nend\r\nGO\r\n");
    put(dir.path() / "db.dat", record("p_b_MS.sql", procedure("p_b_MS", "select 2")) +
                                   record("p_c.sql", procedure("p_c", "select 3")) + "@@@@");
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
    EXPECT_NE(outcome.err.find("tessary-cli: the package " + path("db.dat") +
                               " was not printed to its end"),
              std::string::npos);
}

}  // namespace
