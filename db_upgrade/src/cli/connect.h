#pragma once

#include <json/value.h>

#include <ostream>

#include "commands.h"
#include "core/window.h"
#include "terminal_ui.h"

namespace tessary::cli {

// Opens the window `w` (whose Ui is `ui`) and connects as the window does. Puts the server,
// the store database and whether it connected into `report`, and when it did not, the
// connection's detailed message too; says so on `err` and returns false then.
bool open_and_connect(UpgradeWindow& w, const TerminalUi& ui, Json::Value& report,
                      std::ostream& err);

using ConnectedRun = int (*)(Transaction& sqlca, System& system, bool json, std::ostream& out,
                             std::ostream& err);

// Reads the options of upgrade and status, [--connection STRING] [--json], and runs `run`
// over ODBC on this machine, writing to stdout and stderr.
int run_connected_command(const Arguments& arguments, ConnectedRun run);

}  // namespace tessary::cli
