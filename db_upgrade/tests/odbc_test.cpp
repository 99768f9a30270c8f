// The ODBC transaction object against SQLite's ODBC driver: statements, transactions and the
// driver manager's and the driver's failures; and the connection strings.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

#include "core_fixture.h"
#include "environment.h"
#include "odbc/connection_string.h"
#include "odbc/odbc_transaction.h"

namespace tessary::odbc {
namespace {

using testing::TempDir;

// The database file as SQLite's driver names it. Under wine, odbc32 hands every call to the
// machine's unixODBC, whose drivers are Linux programs and take the file's Linux name.
std::string driver_file_name(const TempDir& dir, const std::string& name) {
#ifdef _WIN32
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const FARPROC wine_function =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (wine_function != nullptr) {
        const auto unix_file_name =
            reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(wine_function));
        char* unix_name = unix_file_name((dir.path() / name).c_str());
        if (unix_name != nullptr) {
            std::string result(unix_name);
            HeapFree(GetProcessHeap(), 0, unix_name);
            return result;
        }
    }
#endif
    return dir.file(name);
}

std::string sqlite(const TempDir& dir) {
    return "DRIVER=SQLite3;Database=" + driver_file_name(dir, "store.db");
}

class OdbcSqlite : public ::testing::Test {
  protected:
    void SetUp() override {
        sqlca.connect();
        ASSERT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
        ASSERT_TRUE(sqlca.connected());
        run("create table t_sys_system ( sys_var_id varchar(30) primary key, sys_var_value "
            "varchar(8000) )");
    }

    void run(const std::string& statement) {
        sqlca.execute_immediate(statement);
        ASSERT_EQ(sqlca.sqlcode(), Transaction::kSuccess)
            << statement << ": " << sqlca.sqlerrtext();
    }

    std::optional<std::string> count_in(Transaction& transaction) {
        std::optional<std::string> count;
        transaction.select_into("select count(*) from t_sys_system", count);
        EXPECT_EQ(transaction.sqlcode(), Transaction::kSuccess) << transaction.sqlerrtext();
        return count;
    }

    TempDir dir;
    OdbcTransaction sqlca{sqlite(dir)};
};

TEST_F(OdbcSqlite, SelectsOneValueNullNoRowAndLongTexts) {
    run("insert into t_sys_system values ( 'UPGRADE_DATE' , '20140722' )");
    run("insert into t_sys_system values ( 'EMPTY' , null )");
    const std::string long_text(5000, 'x');
    run("insert into t_sys_system values ( 'LONG' , '" + long_text + "' )");

    std::optional<std::string> value = std::string("before");
    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'",
                      value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_EQ(value, "20140722");

    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'EMPTY'", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_FALSE(value.has_value());

    value = std::string("kept");
    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'NONE'", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kNotFound);
    EXPECT_EQ(value, "kept");

    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'LONG'", value);
    EXPECT_EQ(value, long_text);
}

TEST_F(OdbcSqlite, FailuresLeaveTheTargetAndCarryTheDriversText) {
    run("insert into t_sys_system values ( 'A' , '1' )");
    run("insert into t_sys_system values ( 'B' , '2' )");
    std::optional<std::string> value = std::string("kept");

    sqlca.select_into("select sys_var_value from t_sys_system", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kError);
    EXPECT_EQ(sqlca.sqlerrtext(), "the singleton select returned more than one row");
    EXPECT_EQ(value, "kept");

    sqlca.select_into("select x from t_missing", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kError);
    EXPECT_EQ(value, "kept");
    EXPECT_NE(sqlca.sqlerrtext().find("no such table: t_missing"), std::string::npos)
        << sqlca.sqlerrtext();

    sqlca.execute_immediate("insert into t_sys_system values ( 'A' , '3' )");
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kError);
    EXPECT_NE(sqlca.sqlerrtext().find("(SQLSTATE "), std::string::npos) << sqlca.sqlerrtext();

    run("update t_sys_system set sys_var_value = '9' where sys_var_id = 'NONE'");
}

TEST_F(OdbcSqlite, GbkTextsPassThroughByteForByte) {
    const std::string wallet = "零钱包支付";
    ASSERT_EQ(wallet, std::string("\xc1\xe3\xc7\xae\xb0\xfc\xd6\xa7\xb8\xb6"));
    run("insert into t_sys_system values ( 'LEP' , '" + wallet + "' )");
    std::optional<std::string> value;
    sqlca.select_into("select sys_var_value from t_sys_system where sys_var_id = 'LEP'", value);
    EXPECT_EQ(value, wallet);
}

TEST_F(OdbcSqlite, CommitRollbackAndAutocommitOnALiveConnection) {
    OdbcTransaction other{sqlite(dir)};
    other.connect();
    ASSERT_EQ(other.sqlcode(), Transaction::kSuccess) << other.sqlerrtext();

    sqlca.set_autocommit(false);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_FALSE(sqlca.autocommit());
    run("insert into t_sys_system values ( 'A' , '1' )");
    sqlca.rollback();
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_EQ(count_in(sqlca), "0");

    run("insert into t_sys_system values ( 'B' , '2' )");
    sqlca.commit();
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_EQ(count_in(other), "1");

    sqlca.set_autocommit(true);
    EXPECT_TRUE(sqlca.autocommit());
    run("insert into t_sys_system values ( 'C' , '3' )");
    EXPECT_EQ(count_in(other), "2");
}

TEST(Odbc, StatementsWithoutAConnectionFail) {
    OdbcTransaction sqlca{"DRIVER=SQLite3;Database=/nonexistent/dir/store.db"};
    sqlca.execute_immediate("select 1");
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kError);
    EXPECT_EQ(sqlca.sqlerrtext(), "the transaction object is not connected");
    sqlca.set_autocommit(false);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_FALSE(sqlca.autocommit());
}

TEST(Odbc, AnUnknownDriverFailsWithTheDriverManagersText) {
    OdbcTransaction sqlca{"DRIVER={No Such Driver};Server=x"};
    sqlca.connect();
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kError);
    EXPECT_FALSE(sqlca.connected());
    // unixODBC's "[unixODBC][Driver Manager]", Windows' "[Microsoft][ODBC Driver Manager]".
    EXPECT_NE(sqlca.sqlerrtext().find("Driver Manager]"), std::string::npos) << sqlca.sqlerrtext();
}

TEST(ConnectionString, BuiltForFreeTdsFromTheServerNameForms) {
    Transaction::Settings settings;
    settings.database = "store";
    settings.log_id = "korvane";
    settings.log_pass = "tqzvbno";
    const std::string tail = "Database=store;UID=korvane;PWD=tqzvbno;ClientCharset=GBK;";

    settings.server_name = "dbhost";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"), "DRIVER=FreeTDS;Server=dbhost;" + tail);
    settings.server_name = "dbhost\\SQL2008";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=dbhost\\SQL2008;" + tail);
    settings.server_name = "10.0.0.5,1533";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=10.0.0.5;Port=1533;" + tail);
    settings.server_name = "dbhost\\SQL2008, 1533";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=dbhost;Port=1533;" + tail);
    settings.server_name = "(LOCAL)\\SQLEXPRESS";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=localhost\\SQLEXPRESS;" + tail);
    settings.server_name = ".";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=localhost;" + tail);
}

TEST(ConnectionString, OtherDriversTakeTheServerNameAsItIs) {
    Transaction::Settings settings;
    settings.database = "store";
    settings.log_id = "korvane";
    settings.log_pass = "tqzvbno";
    for (const char* server : {"dbhost\\SQL2008", "10.0.0.5,1533", "(local)", "."}) {
        settings.server_name = std::string(" ") + server;
        EXPECT_EQ(build_connection_string(settings, "SQL Server"),
                  std::string("DRIVER=SQL Server;Server=") + server +
                      ";Database=store;UID=korvane;PWD=tqzvbno;");
    }
    settings.server_name = "10.0.0.5,1533";
    EXPECT_EQ(build_connection_string(settings, "/usr/lib/odbc/libtdsodbc.so"),
              "DRIVER=/usr/lib/odbc/libtdsodbc.so;Server=10.0.0.5;Port=1533;Database=store;"
              "UID=korvane;PWD=tqzvbno;ClientCharset=GBK;");
}

TEST(ConnectionString, ValuesThatWouldAddAttributesAreBraced) {
    Transaction::Settings settings;
    settings.server_name = "dbhost";
    settings.database = "store;UID=sa";
    settings.log_pass = "a}b";
    EXPECT_EQ(build_connection_string(settings, "FreeTDS"),
              "DRIVER=FreeTDS;Server=dbhost;Database={store;UID=sa};UID=;PWD={a}}b};"
              "ClientCharset=GBK;");
    EXPECT_EQ(build_connection_string(settings, "My Driver"),
              "DRIVER=My Driver;Server=dbhost;Database={store;UID=sa};UID=;PWD={a}}b};");
}

TEST(ConnectionString, TheEnvironmentNamesAnotherDriver) {
    using testing::set_environment;
#if defined(_WIN32)
    const std::string default_driver = "SQL Server";
#else
    const std::string default_driver = "FreeTDS";
#endif
    set_environment("TESSARY_ODBC_DRIVER", "ODBC Driver 18 for SQL Server");
    EXPECT_EQ(driver_from_environment(), "ODBC Driver 18 for SQL Server");
    set_environment("TESSARY_ODBC_DRIVER", "");
    EXPECT_EQ(driver_from_environment(), default_driver);
    set_environment("TESSARY_ODBC_DRIVER", std::nullopt);
    EXPECT_EQ(driver_from_environment(), default_driver);
}

}  // namespace
}  // namespace tessary::odbc
