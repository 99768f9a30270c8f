// The ODBC transaction object against real drivers: SQLite's ODBC driver for statements and
// transactions, FreeTDS's at a closed loopback port for the connection failure.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core_fixture.h"
#include "loopback.h"
#include "odbc/connection_string.h"
#include "odbc/odbc_transaction.h"

namespace tessary::odbc {
namespace {

using testing::TempDir;

std::string sqlite(const TempDir& dir) {
    return "DRIVER=SQLite3;Database=" + dir.file("store.db");
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
    EXPECT_NE(sqlca.sqlerrtext().find("[unixODBC]"), std::string::npos) << sqlca.sqlerrtext();
}

TEST(OdbcFreeTds, AClosedPortGivesTheConnectionFailureMessage) {
    unsetenv("TESSARY_ODBC_DRIVER");
    testing::Timeline timeline;
    OdbcTransaction sqlca;
    testing::RecordingUi ui(timeline);
    testing::TestSystem system;
    system.registry["DATABASE"] = "store";
    system.registry["SERVERNAME"] = "127.0.0.1," + std::to_string(testing::closed_loopback_port());
    UpgradeWindow window(ui, system, sqlca);

    EXPECT_FALSE(wf_connect_db(window));
    EXPECT_FALSE(sqlca.connected());
    const auto messages = timeline.texts(testing::Event::Kind::kMessage);
    ASSERT_EQ(messages.size(), 1u);
    const std::string head = "\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd\xca\xfd\xbe\xdd\xbf\xe2";
    EXPECT_EQ(messages[0].rfind(head + "！(错误信息：[FreeTDS][SQL Server]Unable to connect", 0),
              0u)
        << messages[0];
    EXPECT_EQ(messages[0].back(), ')');
    EXPECT_EQ(timeline.texts(testing::Event::Kind::kBeep), (std::vector<std::string>{"1"}));
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

TEST(ConnectionString, ValuesThatWouldAddAttributesAreBraced) {
    Transaction::Settings settings;
    settings.server_name = "dbhost";
    settings.database = "store;UID=sa";
    settings.log_pass = "a}b";
    const std::string text = build_connection_string(settings, "My Driver");
    EXPECT_EQ(text,
              "DRIVER=My "
              "Driver;Server=dbhost;Database={store;UID=sa};UID=;PWD={a}}b};ClientCharset=GBK;");
}

TEST(ConnectionString, TheEnvironmentNamesAnotherDriver) {
    setenv("TESSARY_ODBC_DRIVER", "ODBC Driver 18 for SQL Server", 1);
    EXPECT_EQ(driver_from_environment(), "ODBC Driver 18 for SQL Server");
    setenv("TESSARY_ODBC_DRIVER", "", 1);
    EXPECT_EQ(driver_from_environment(), "FreeTDS");
    unsetenv("TESSARY_ODBC_DRIVER");
    EXPECT_EQ(driver_from_environment(), "FreeTDS");
}

}  // namespace
}  // namespace tessary::odbc
