#include <algorithm>

#include "commands.h"
#include "core/upgrade.h"
#include "core/window.h"
#include "host/host.h"
#include "odbc/odbc_transaction.h"
#include "terminal_ui.h"

namespace tessary::cli {

// The run of the upgrade button, headless: window open, connection, then the run over the
// store database and, when the server holds it, the second database.
int upgrade_command(const Arguments& arguments) {
    std::map<std::string, std::string> options;
    if (auto error = parse_options(arguments, {"--connection"}, options)) {
        return fail(*error, kUsageError);
    }
    std::optional<std::string> connection_string;
    if (options.count("--connection") != 0) connection_string = options["--connection"];

    odbc::OdbcTransaction sqlca(connection_string);
    TerminalUi ui;
    host::HostSystem system;
    UpgradeWindow window(ui, system, sqlca);
    open(window);
    ue_postopen(window);
    if (!ui.upgrade_enabled()) return fail("no connection to the store database");

    cb_1_clicked(window);
    sqlca.disconnect();

    const auto& messages = ui.messages();
    const bool unknown_date =
        std::any_of(messages.begin(), messages.end(), [](const TerminalUi::Message& message) {
            return message.title == kNoticeTitle && message.text == kUpgradeIncompleteText;
        });
    if (unknown_date) {
        return fail(
            "a database records an upgrade date this program does not know; its batches did not "
            "run");
    }
    if (window.package_incomplete) {
        return fail("the script package db.dat was not applied to its end; see the messages above");
    }
    return kSuccess;
}

}  // namespace tessary::cli
