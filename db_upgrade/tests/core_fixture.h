#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/window.h"
#include "recording_ui.h"
#include "sql_server_double.h"
#include "store_fixture.h"
#include "temp_dir.h"
#include "test_system.h"

namespace tessary::testing {

// A window over the recording Ui, the test's System and the SQL Server double, whose
// registry names the server "storesrv" and the store database "store". The installation folder
// (registry PATH) has an empty script folder "32k", and the working directory an empty package
// db.dat.
class CoreFixture : public ::testing::Test {
  protected:
    CoreFixture() {
        system.registry["DATABASE"] = "store";
        system.registry["SERVERNAME"] = "storesrv";
        system.registry["PATH"] = install_dir.path().string();
        system.current_dir = work_dir.path().string();
        std::filesystem::create_directory(scripts_dir());
        std::ofstream(work_dir.file("db.dat"), std::ios::binary) << "@@@@";
    }

    // The folder wf_exec_sql runs the scripts of.
    std::filesystem::path scripts_dir() const { return install_dir.path() / "32k"; }

    // Connects as the window does after it opens; true when the upgrade button stays enabled.
    bool open_window() {
        open(window);
        ue_postopen(window);
        return ui.upgrade_enabled;
    }

    std::vector<Event> events_of(Event::Kind kind) const {
        std::vector<Event> found;
        for (const auto& event : timeline.events()) {
            if (event.kind == kind) found.push_back(event);
        }
        return found;
    }

    std::vector<std::string> executed() const { return timeline.texts(Event::Kind::kExecute); }

    // The run logs in the working directory.
    std::vector<std::filesystem::path> run_logs() const {
        std::vector<std::filesystem::path> logs;
        for (const auto& entry : std::filesystem::directory_iterator(work_dir.path())) {
            if (entry.path().extension() == ".log") logs.push_back(entry.path());
        }
        return logs;
    }

    const SqlServerDouble::Database& db(const std::string& name) const {
        const auto* database = server.committed(name);
        EXPECT_NE(database, nullptr) << name;
        return *database;
    }

    TempDir install_dir;
    TempDir work_dir;
    Timeline timeline;
    SqlServerDouble server{timeline};
    TestSystem system;
    RecordingUi ui{timeline};
    UpgradeWindow window{ui, system, server};
};

}  // namespace tessary::testing
