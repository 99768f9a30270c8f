#include "connect.h"

#include <iostream>

#include "core/text.h"
#include "host/host.h"
#include "json_output.h"
#include "odbc/odbc_transaction.h"

namespace tessary::cli {

bool open_and_connect(UpgradeWindow& w, const TerminalUi& ui, Json::Value& report,
                      std::ostream& err) {
    open(w);
    ue_postopen(w);
    const Transaction::Settings& settings = w.sqlca().settings();
    report["server"] = json_text(settings.server_name);
    report["database"] = json_text(settings.database);
    report["connected"] = ui.upgrade_enabled();
    if (ui.upgrade_enabled()) return true;
    // The detailed message of the connection comes first.
    if (!ui.messages().empty()) report["error"] = json_text(ui.messages().front().text);
    fail(err, "no connection to the store database", kFailure);
    return false;
}

int run_connected_command(const Arguments& arguments, ConnectedRun run) {
    std::map<std::string, std::string> options;
    if (auto error = parse_options(arguments, {"--connection"}, options, {"--json"})) {
        return fail(*error, kUsageError);
    }
    std::optional<std::string> connection_string;
    if (options.count("--connection") != 0) {
        connection_string = options["--connection"];
        // The driver manager would take an empty string for a default data source and answer
        // that none is named.
        if (text::is_blank(*connection_string)) {
            return fail(
                "--connection is empty: give the whole ODBC connection string, or leave "
                "the option out to connect with the registry's values",
                kUsageError);
        }
    }

    odbc::OdbcTransaction sqlca(connection_string);
    host::HostSystem system;
    return run(sqlca, system, options.count("--json") != 0, std::cout, std::cerr);
}

}  // namespace tessary::cli
