// wf_create_table_200327 against the SQL Server double.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/statements.h"
#include "core_fixture.h"

namespace tessary::testing {
namespace {

using Kind = Event::Kind;
namespace st = statements;

// The steps whose statement starts with `prefix`, numbered from 1.
std::vector<std::size_t> steps_starting(const std::string& prefix) {
    std::vector<std::size_t> steps;
    for (std::size_t i = 0; i < st::catalogue_200327.size(); ++i) {
        if (st::catalogue_200327[i].substr(0, prefix.size()) == prefix) steps.push_back(i + 1);
    }
    return steps;
}

class Catalogue : public CoreFixture {
  protected:
    void connect_to(SqlServerDouble::Database database) {
        server.add_database(std::move(database));
        ASSERT_TRUE(open_window());
        timeline.clear();
    }

    std::vector<Event> executions() const { return events_of(Kind::kExecute); }
};

TEST_F(Catalogue, SendsEveryStepInOrderEachFollowedByACommit) {
    connect_to(store_database("store", "20200117"));
    wf_create_table_200327(window);

    const auto events = timeline.events();
    ASSERT_EQ(events.size(), 2 * st::catalogue_200327.size());
    for (std::size_t step = 0; step < st::catalogue_200327.size(); ++step) {
        EXPECT_EQ(events[2 * step].kind, Kind::kExecute);
        EXPECT_EQ(events[2 * step].text, std::string(st::catalogue_200327[step]));
        EXPECT_EQ(events[2 * step + 1].kind, Kind::kCommit) << "after step " << step + 1;
    }
}

TEST_F(Catalogue, ANewStoreDatabaseGetsEveryTableKeyAndColumn) {
    connect_to(store_database("store", "20200117"));
    const auto before = db("store");
    wf_create_table_200327(window);
    for (const auto& event : executions()) EXPECT_TRUE(event.ok) << event.text;

    const auto& after = db("store");
    const std::string creation = "CREATE TABLE [dbo].[";
    const auto created = steps_starting(creation);
    EXPECT_EQ(after.tables.size(), before.tables.size() + created.size());
    for (std::size_t step : created) {
        const std::string text(st::catalogue_200327[step - 1]);
        const std::string name =
            text.substr(creation.size(), text.find(']', creation.size()) - creation.size());
        SCOPED_TRACE(name);
        const auto* table = after.table(name);
        ASSERT_NE(table, nullptr);
        const std::string next(st::catalogue_200327[step]);
        const bool keyed = next.rfind("ALTER TABLE [dbo].[" + name + "]", 0) == 0;
        EXPECT_EQ(table->key.empty(), !keyed);
    }
    // Each existing table has a column for every step that adds one to it.
    for (const auto& [name, table] : before.tables) {
        SCOPED_TRACE(name);
        EXPECT_EQ(after.table(name)->columns.size(),
                  table.columns.size() + steps_starting("alter table " + name + " add ").size());
    }
    // Pinned once, so that a step lost from the data file shows: 25 new tables, the 33
    // member columns of steps 6 to 38, and the gift flag of the last step.
    EXPECT_EQ(created.size(), 25u);
    EXPECT_EQ(after.table("t_rm_vip_info")->columns.size(),
              before.table("t_rm_vip_info")->columns.size() + 33);
    EXPECT_EQ(after.table("t_bd_item_info")->columns.back(), "en_gift");
    EXPECT_EQ(after.table("t_sys_menu")->rows.size(), before.table("t_sys_menu")->rows.size() + 1);
    // The key of t_rm_vip_subaccount is created like every other: clustered, and named.
    EXPECT_EQ(after.table("t_rm_vip_subaccount")->key, std::vector<std::string>{"flow_id"});
    EXPECT_EQ(after.objects.count("pk_rm_vip_subaccount"), 1u);
}

TEST_F(Catalogue, OnACompleteDatabaseEveryStepFailsAndNothingChanges) {
    connect_to(store_database("store", "20200117"));
    wf_create_table_200327(window);
    const auto complete = db("store");
    timeline.clear();

    wf_create_table_200327(window);
    const auto events = executions();
    ASSERT_EQ(events.size(), st::catalogue_200327.size());
    for (const auto& event : events) EXPECT_FALSE(event.ok) << event.text;
    EXPECT_EQ(db("store"), complete);
}

TEST_F(Catalogue, AMissingTableFailsItsStepsAndTheRunGoesOn) {
    auto database = store_database("store", "20200117");
    database.tables.erase("t_rm_vip_info");
    connect_to(std::move(database));
    wf_create_table_200327(window);

    const auto vip_info_steps = steps_starting("alter table t_rm_vip_info add ");
    ASSERT_FALSE(vip_info_steps.empty());
    const auto events = executions();
    ASSERT_EQ(events.size(), st::catalogue_200327.size());
    for (std::size_t step = 1; step <= events.size(); ++step) {
        const bool vip_info_column =
            std::count(vip_info_steps.begin(), vip_info_steps.end(), step) != 0;
        EXPECT_EQ(events[step - 1].ok, !vip_info_column) << "step " << step;
    }
    EXPECT_NE(db("store").table("t_rm_vip_type")->column("unbind_online"), -1);
}

TEST_F(Catalogue, OnlyTheMissingColumnsAreAdded) {
    // The table already has the columns of the first two of its steps.
    const auto type_steps = steps_starting("alter table t_rm_vip_type add ");
    ASSERT_GT(type_steps.size(), 2u);
    auto database = store_database("store", "20200117");
    auto& type = database.tables.at("t_rm_vip_type");
    const std::size_t columns_before = type.columns.size();
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string step(st::catalogue_200327[type_steps[i] - 1]);
        const std::size_t name_at = step.find(" add ") + 5;
        type.columns.push_back(step.substr(name_at, step.find(' ', name_at) - name_at));
    }
    connect_to(std::move(database));
    wf_create_table_200327(window);

    const auto events = executions();
    for (std::size_t i = 0; i < type_steps.size(); ++i) {
        EXPECT_EQ(events[type_steps[i] - 1].ok, i >= 2) << "step " << type_steps[i];
    }
    EXPECT_EQ(db("store").table("t_rm_vip_type")->columns.size(),
              columns_before + type_steps.size());
}

}  // namespace
}  // namespace tessary::testing
