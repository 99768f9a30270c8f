#pragma once

#include <optional>
#include <string>
#include <vector>

#include "package.h"
#include "run_report.h"
#include "system.h"
#include "transaction.h"
#include "ui.h"

// The upgrade window w_db_upgrade without its toolkit: its instance variables, its
// events and its window functions. Each front end (Qt window, command-line twin, tests)
// creates one UpgradeWindow over its Ui, the System and the transaction object, and
// delivers the events to the functions below.
//
// Headers of the core hold no texts of the system: those are GBK and live in the core's
// .cpp files, which are compiled with GBK string literals.

namespace tessary {

// Title of the program's message boxes.
extern const char* const gs_appname;

// The store software's registry key under HKEY_LOCAL_MACHINE, as read and as named to users.
inline constexpr char kStoreRegistryKey[] = "SOFTWARE\\korvane";
inline constexpr char kStoreRegistryKeyShown[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane";

class UpgradeWindow {
  public:
    UpgradeWindow(Ui& ui, System& system, Transaction& sqlca)
        : ui_(ui), system_(system), sqlca_(&sqlca) {}
    UpgradeWindow(const UpgradeWindow&) = delete;
    UpgradeWindow& operator=(const UpgradeWindow&) = delete;

    Ui& ui() { return ui_; }
    System& system() { return system_; }

    // The transaction every statement of the core goes through: the program's sqlca, or
    // whatever routes it for a while (the run log of an upgrade run).
    Transaction& sqlca() { return *sqlca_; }
    Transaction* route_sqlca(Transaction* transaction) {
        Transaction* previous = sqlca_;
        sqlca_ = transaction;
        return previous;
    }

    // Working directory at window open, with one trailing separator; db.dat lies there.
    std::string is_runpath;
    // Whether the server also holds the second store database, and its name as spelt there.
    bool ib_sorvanth = false;
    std::string is_sorvanth;

    // The folder wf_exec_sql takes its scripts from instead of the one the registry names
    // (tessary-cli script: its --scripts, or an empty text when none was given); nullopt in
    // a real run.
    std::optional<std::string> script_folder_override;
    // How the last application of the script package ended. The window shows this in its
    // message boxes alone; tessary-cli upgrade also turns it into its exit code.
    std::optional<package::ApplyOutcome> package_outcome;
    // What the last upgrade run did, for tessary-cli's report.
    RunReport last_run;
    // What the run is doing (GBK): the message of a lost connection names it.
    std::string step;

  private:
    Ui& ui_;
    System& system_;
    Transaction* sqlca_;
};

// Events (window.cpp, upgrade.cpp, package.cpp).
void open(UpgradeWindow& w);            // sets is_runpath; the front end then shows the window
void ue_postopen(UpgradeWindow& w);     // connects once the window is on screen
void cb_1_clicked(UpgradeWindow& w);    // the upgrade run
void cb_get_clicked(UpgradeWindow& w);  // builds db.dat from the script folder
void cb_put_clicked(UpgradeWindow& w);  // applies db.dat

// Window functions.
bool wf_connect_db(UpgradeWindow& w);                              // connection.cpp
void wf_dbupgrade_2007(UpgradeWindow& w);                          // upgrade.cpp
void wf_create_table_200327(UpgradeWindow& w);                     // catalogue.cpp
void wf_exec_sql(UpgradeWindow& w);                                // rebuild.cpp
bool wf_get_sql_go(std::string& as_create, std::string& as_drop);  // rebuild.cpp

// The batches wf_exec_sql sends for the lines of a script: a line "GO" (any letter case,
// nothing else on it) ends a batch, every other line joins the batch after a line feed, and
// what follows the last GO line is a batch of its own unless it is blank (rebuild.cpp).
std::vector<std::string> script_batches(const std::vector<std::string>& lines);

// The folder, with its trailing separator, that wf_exec_sql runs the scripts of; empty when
// there is none (rebuild.cpp).
std::string procedure_script_folder(UpgradeWindow& w);

}  // namespace tessary
