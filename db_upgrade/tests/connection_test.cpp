// Window open and wf_connect_db against the SQL Server double.
#include <gtest/gtest.h>

#include "core/statements.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;

class Connection : public CoreFixture {
  protected:
    Connection() { server.add_database(store_database("store", "20200117")); }
};

TEST_F(Connection, OpenAppendsOneSeparatorToTheWorkingDirectory) {
    system.current_dir = "/store/pos";
    open(window);
    EXPECT_EQ(window.is_runpath, "/store/pos" + std::string(1, system.path_separator()));
}

TEST_F(Connection, ConnectsWithTheFixedLoginAndSettingsInTheirOrder) {
    ASSERT_TRUE(wf_connect_db(window));
    const auto& settings = server.settings();
    EXPECT_EQ(settings.dbms, "MSS");
    EXPECT_EQ(settings.database, "store");
    EXPECT_EQ(settings.server_name, "storesrv");
    EXPECT_EQ(settings.log_id, "korvane");
    EXPECT_EQ(settings.log_pass, "tqzvbno");
    EXPECT_EQ(settings.lock, "RU");
    EXPECT_EQ(settings.dbparm, "");
    EXPECT_TRUE(server.autocommit());
    EXPECT_EQ(timeline.texts(Kind::kAutocommit), (std::vector<std::string>{"off", "on"}));

    EXPECT_EQ(executed(), (std::vector<std::string>{"use master", "use [store]"}));
    EXPECT_EQ(timeline.texts(Kind::kSelect),
              std::vector<std::string>{std::string(statements::select_second_database)});
    EXPECT_EQ(server.current_database(), "store");
    EXPECT_FALSE(window.ib_sorvanth);
    EXPECT_EQ(window.is_sorvanth, "");
    EXPECT_TRUE(events_of(Kind::kMessage).empty());
}

TEST_F(Connection, FindsTheSecondDatabaseAsTheServerSpellsIt) {
    server.add_database(store_database("SorVanth", "20200117"));
    ASSERT_TRUE(open_window());
    EXPECT_TRUE(window.ib_sorvanth);
    EXPECT_EQ(window.is_sorvanth, "SorVanth");
    EXPECT_EQ(server.current_database(), "store");
}

TEST_F(Connection, RefusedLoginShowsOneDetailedMessageAfterABeepThenTheShortOne) {
    system.registry["SERVERNAME"] = "otherhost";
    EXPECT_FALSE(open_window());

    std::vector<Event> shown;
    for (const auto& event : timeline.events()) {
        if (event.kind == Kind::kBeep || event.kind == Kind::kMessage ||
            event.kind == Kind::kUpgradeEnabled) {
            shown.push_back(event);
        }
    }
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].kind, Kind::kBeep);
    EXPECT_EQ(shown[1].detail, gs_appname);
    EXPECT_EQ(shown[1].text,
              "不能连接到数据库！(错误信息：Unable to connect: server 'otherhost' is "
              "unavailable or does not exist)");
    EXPECT_EQ(shown[2].text, "不能连接到数据库");
    EXPECT_EQ(shown[2].text,
              std::string("\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd\xca\xfd\xbe\xdd\xbf\xe2"));
    EXPECT_EQ(shown[3].text, "off");
    EXPECT_TRUE(executed().empty());
}

TEST_F(Connection, MissingOrBlankRegistryValuesAreNamedAndNoConnectionIsTried) {
    struct Case {
        const char* database;
        const char* server_name;
        const char* named;
    };
    const Case cases[] = {
        {nullptr, "storesrv", "DATABASE"},
        {"  ", "storesrv", "DATABASE"},
        {"store", "", "SERVERNAME"},
        {nullptr, nullptr, "DATABASE、SERVERNAME"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        timeline.clear();
        system.registry.clear();
        if (c.database != nullptr) system.registry["DATABASE"] = c.database;
        if (c.server_name != nullptr) system.registry["SERVERNAME"] = c.server_name;
        Timeline own;
        SqlServerDouble fresh(own);
        UpgradeWindow fresh_window(ui, system, fresh);

        EXPECT_FALSE(wf_connect_db(fresh_window));
        EXPECT_TRUE(own.texts(Kind::kConnect).empty());
        const auto messages = timeline.texts(Kind::kMessage);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], std::string("不能连接到数据库！(错误信息：注册表 "
                                           "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane 中缺少 ") +
                                   c.named + " 的值)");
        EXPECT_EQ(timeline.texts(Kind::kBeep), (std::vector<std::string>{"1"}));
    }
}

TEST_F(Connection, AStoreDatabaseThatCannotBeSelectedIsAFailedConnection) {
    server.refuse("use [store]", "Database 'store' cannot be opened.");
    EXPECT_FALSE(open_window());
    EXPECT_EQ(server.current_database(), "master");
    const auto messages = timeline.texts(Kind::kMessage);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "不能连接到数据库！(错误信息：Database 'store' cannot be opened.)");
    EXPECT_EQ(messages[1], "不能连接到数据库");
}

TEST_F(Connection, FailuresBeforeTheFinalUseAreIgnored) {
    server.refuse("use master", "no master here");
    server.refuse("sysdatabases", "no catalogue here");
    EXPECT_TRUE(open_window());
    EXPECT_FALSE(window.ib_sorvanth);
    EXPECT_EQ(server.current_database(), "store");
    EXPECT_TRUE(timeline.texts(Kind::kMessage).empty());
}

}  // namespace
}  // namespace tessary::testing
