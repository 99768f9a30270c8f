// The SQL Server stand-in under real clients: FreeTDS's tsql, unixODBC's isql with FreeTDS's
// driver, and the transaction object over that driver.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/window.h"
#include "loopback.h"
#include "odbc/odbc_transaction.h"
#include "recording_ui.h"
#include "stand_in.h"
#include "test_system.h"

namespace tessary::odbc {
namespace {

using testing::StandIn;
using testing::TempDir;

TEST(StandInClients, TsqlAndIsqlReadTheStoreDatabase) {
    TempDir dir;
    StandIn stand_in(dir, {"--database", "store", "--upgrade-date", "20150825"});
    EXPECT_EQ(
        stand_in.tsql("store",
                      "select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'\n"
                      "go\nselect menu_name from t_sys_menu where menu_id = '0101'\ngo\n"
                      "use master\ngo\nselect count(*) from sysobjects where name = 't_sys_menu'\n"
                      "go\n"),
        u8"20150825\n商品档案\n0\n");

    testing::put_file(dir.path() / "isql.in",
                      "select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'\n");
    const std::string isql =
        "isql -b -d, -k 'DRIVER=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(stand_in.port()) +
        ";Database=store;UID=korvane;PWD=tqzvbno;ClientCharset=UTF-8' <'" + dir.file("isql.in") +
        "' >'" + dir.file("isql.out") + "' 2>&1";
    ASSERT_EQ(std::system(isql.c_str()), 0);
    EXPECT_EQ(testing::file_bytes(dir.path() / "isql.out"), "20150825\n");

    // Both speak TDS 7.4; isql prepares and executes through the system procedures.
    const std::string log = stand_in.log();
    EXPECT_NE(log.find("#1 login korvane to store, TDS 7.4"), std::string::npos) << log;
    EXPECT_NE(log.find("#2 login korvane to store, TDS 7.4"), std::string::npos) << log;
    EXPECT_NE(log.find("#2 rpc sp_prepexec\n#2 prepared 1: select sys_var_value"),
              std::string::npos)
        << log;
}

TEST(StandInClients, AMalformedLoginIsRefusedAndTheServerGoesOn) {
    TempDir dir;
    StandIn stand_in(dir, {"--database", "store"});
    const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(stand_in.port()));
    ASSERT_EQ(connect(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // A LOGIN7 record whose host name would run far past its end.
    std::string packet = {0x10, 0x01, 0x00, 8 + 94, 0, 0, 1, 0};
    std::string login(94, '\0');
    login[0] = 94;
    login[36] = 90;                       // host name offset
    login[38] = static_cast<char>(0xE8);  // and 1000 characters
    login[39] = 0x03;
    packet += login;
    ASSERT_EQ(send(socket_fd, packet.data(), packet.size(), 0),
              static_cast<ssize_t>(packet.size()));
    char reply[512];
    std::size_t received = 0;
    for (ssize_t got; (got = recv(socket_fd, reply, sizeof reply, 0)) > 0;) {
        received += static_cast<std::size_t>(got);
    }
    close(socket_fd);
    EXPECT_GT(received, 8u);  // an error reply, then the end of the connection

    EXPECT_EQ(stand_in.tsql("store", "select menu_id from t_sys_menu where menu_id = '0101'\ngo\n"),
              "0101\n");
    EXPECT_NE(stand_in.log().find("#1 refused: The login record is malformed: a text of the "
                                  "login record lies outside it.\n#1 closed\n#2 prelogin"),
              std::string::npos)
        << stand_in.log();
}

// The transaction object with the connection string the program builds for FreeTDS.
class OdbcOverFreeTds : public ::testing::Test {
  protected:
    OdbcOverFreeTds() {
        unsetenv("TESSARY_ODBC_DRIVER");
        Transaction::Settings& settings = sqlca.settings();
        settings.server_name = stand_in.server_name();
        settings.database = "store";
        settings.log_id = "korvane";
        settings.log_pass = "tqzvbno";
        settings.lock = "RU";
        sqlca.connect();
        EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
    }

    std::optional<std::string> version() {
        std::optional<std::string> value;
        sqlca.select_into(
            "select sys_var_value from t_sys_system where sys_var_id = 'DataBase_Version'", value);
        EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
        return value;
    }

    TempDir dir;
    StandIn stand_in{dir, {"--database", "store"}};
    OdbcTransaction sqlca;
};

TEST_F(OdbcOverFreeTds, SqlServersErrorNumbersAndTextsReachTheTransactionObject) {
    struct Case {
        const char* statement;
        long number;
        std::string text;
    };
    const Case cases[] = {
        {"create table t_sys_menu ( a int )", 2714,
         "There is already an object named 't_sys_menu' in the database."},
        {"alter table t_bd_item_info add item_no int", 2705,
         "Column names in each table must be unique. Column name 'item_no' in table "
         "'t_bd_item_info' is specified more than once."},
        {"insert into t_missing values ( 1 )", 208, "Invalid object name 't_missing'."},
        {"use nowhere", 911,
         "Database 'nowhere' does not exist. Make sure that the name is entered correctly."},
        {"create table [商品] ( a int )", 2714,
         "There is already an object named '商品' in the database."},
    };
    sqlca.execute_immediate("create table [商品] ( a int )");
    ASSERT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
    for (const Case& c : cases) {
        sqlca.execute_immediate(c.statement);
        EXPECT_EQ(sqlca.sqlcode(), Transaction::kError) << c.statement;
        EXPECT_EQ(sqlca.sqldbcode(), c.number) << c.statement;
        EXPECT_EQ(sqlca.sqlerrtext().rfind("[FreeTDS][SQL Server]" + c.text + " (SQLSTATE ", 0), 0u)
            << sqlca.sqlerrtext();
    }
    std::optional<std::string> value;
    sqlca.select_into("select nothing from t_sys_menu where menu_id = '0101'", value);
    EXPECT_EQ(sqlca.sqldbcode(), 207);
    EXPECT_NE(sqlca.sqlerrtext().find("Invalid column name 'nothing'."), std::string::npos);

    sqlca.execute_immediate("update t_sys_system set sys_var_value ='x' where sys_var_id ='no'");
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
    EXPECT_EQ(sqlca.sqldbcode(), 0);
}

TEST_F(OdbcOverFreeTds, SelectsAndTransactionsOverTheWire) {
    std::optional<std::string> value = std::string("kept");
    sqlca.select_into("select memo from t_sys_menu where menu_id = '0101'", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess);
    EXPECT_FALSE(value.has_value());
    value = std::string("kept");
    sqlca.select_into("select memo from t_sys_menu where menu_id = '9999'", value);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kNotFound);
    EXPECT_EQ(value, "kept");

    const auto set_version = [&](const std::string& text) {
        sqlca.execute_immediate("update t_sys_system set sys_var_value ='" + text +
                                "' where sys_var_id ='DataBase_Version' ");
        EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
    };
    sqlca.set_autocommit(false);
    set_version("V8 A");
    sqlca.rollback();
    EXPECT_EQ(version(), "V8 20130601");
    set_version("V8 B");
    sqlca.commit();
    set_version("V8 C");
    // Switching autocommit on keeps the open work.
    sqlca.set_autocommit(true);
    EXPECT_EQ(sqlca.sqlcode(), Transaction::kSuccess) << sqlca.sqlerrtext();
    sqlca.disconnect();
    sqlca.connect();
    EXPECT_EQ(version(), "V8 C");

    const std::string log = stand_in.log();
    for (const char* request :
         {"#1 batch: SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED\n",
          "#1 transaction manager: begin\n", "#1 transaction manager: rollback and begin\n",
          "#1 transaction manager: commit and begin\n"}) {
        EXPECT_NE(log.find(request), std::string::npos) << request << log;
    }
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

}  // namespace
}  // namespace tessary::odbc
