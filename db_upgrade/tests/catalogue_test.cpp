// wf_create_table_200327 against the SQL Server double.
#include <gtest/gtest.h>

#include "core/statements.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;

class Catalogue : public CoreFixture {
  protected:
    void connect_to(SqlServerDouble::Database database) {
        server.add_database(std::move(database));
        ASSERT_TRUE(open_window());
        timeline.clear();
    }

    std::vector<Event> executions() const { return events_of(Kind::kExecute); }
};

TEST_F(Catalogue, SendsThe144StepsInOrderEachFollowedByACommit) {
    connect_to(store_database("store", "20200117"));
    wf_create_table_200327(window);

    const auto events = timeline.events();
    ASSERT_EQ(events.size(), 288u);
    for (std::size_t step = 0; step < 144; ++step) {
        EXPECT_EQ(events[2 * step].kind, Kind::kExecute);
        EXPECT_EQ(events[2 * step].text, std::string(statements::catalogue_200327[step]));
        EXPECT_EQ(events[2 * step + 1].kind, Kind::kCommit) << "after step " << step + 1;
    }
}

TEST_F(Catalogue, ANewStoreDatabaseGetsEveryTableKeyAndColumn) {
    connect_to(store_database("store", "20200117"));
    const auto before = db("store");
    wf_create_table_200327(window);
    for (const auto& event : executions()) EXPECT_TRUE(event.ok) << event.text;

    const auto& after = db("store");
    EXPECT_EQ(after.tables.size(), before.tables.size() + 25);
    const struct {
        const char* table;
        std::size_t columns;
        std::vector<std::string> key;
    } expected[] = {
        {"t_order_bill_weixin", 32, {"flow_id"}},
        {"wxsf_vip_info", 31, {}},
        {"t_bd_item_multi_unit", 5, {"unit_id", "item_no"}},
        {"t_rm_vip_subaccount", 17, {"flow_id"}},
        {"t_wx_lottery_draw_info", 27, {"flow_id"}},
        {"t_wx_item_info", 20, {"item_no"}},
        {"t_wx_promotion", 11, {"flowid"}},
    };
    for (const auto& table : expected) {
        SCOPED_TRACE(table.table);
        const auto* created = after.table(table.table);
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->columns.size(), table.columns);
        EXPECT_EQ(created->key, table.key);
    }
    EXPECT_EQ(after.table("t_rm_vip_info")->columns.size(),
              before.table("t_rm_vip_info")->columns.size() + 33);
    EXPECT_EQ(after.table("t_rm_saleflow")->columns.size(),
              before.table("t_rm_saleflow")->columns.size() + 14);
    EXPECT_EQ(after.table("t_bd_item_info")->columns.back(), "en_gift");
    EXPECT_EQ(after.table("t_sys_menu")->rows.size(), before.table("t_sys_menu")->rows.size() + 1);
}

TEST_F(Catalogue, OnACompleteDatabaseEveryStepFailsAndNothingChanges) {
    connect_to(store_database("store", "20200117"));
    wf_create_table_200327(window);
    const auto complete = db("store");
    timeline.clear();

    wf_create_table_200327(window);
    const auto events = executions();
    ASSERT_EQ(events.size(), 144u);
    for (const auto& event : events) EXPECT_FALSE(event.ok) << event.text;
    EXPECT_EQ(db("store"), complete);
}

TEST_F(Catalogue, AMissingTableFailsItsStepsAndTheRunGoesOn) {
    auto database = store_database("store", "20200117");
    database.tables.erase("t_rm_vip_info");
    connect_to(std::move(database));
    wf_create_table_200327(window);

    const auto events = executions();
    ASSERT_EQ(events.size(), 144u);
    for (std::size_t step = 1; step <= 144; ++step) {
        const bool vip_info_column = step >= 6 && step <= 38;
        EXPECT_EQ(events[step - 1].ok, !vip_info_column) << "step " << step;
    }
    EXPECT_NE(db("store").table("t_rm_vip_type")->column("unbind_online"), -1);
}

TEST_F(Catalogue, OnlyTheMissingColumnsAreAdded) {
    auto database = store_database("store", "20200117");
    auto& type = database.tables.at("t_rm_vip_type");
    type.columns.insert(type.columns.end(), {"use_itemcls", "min_consumeamt_year", "sav_orgi"});
    connect_to(std::move(database));
    wf_create_table_200327(window);

    const auto events = executions();
    for (std::size_t step = 39; step <= 43; ++step) {
        EXPECT_EQ(events[step - 1].ok, step >= 42) << "step " << step;
    }
    EXPECT_EQ(db("store").table("t_rm_vip_type")->columns.size(), 2u + 5u);
}

}  // namespace
}  // namespace tessary::testing
