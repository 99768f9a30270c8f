#include <iostream>

#include "commands.h"
#include "core/files.h"
#include "core/package.h"
#include "core/upgrade.h"
#include "core/window.h"
#include "host/host.h"
#include "terminal_ui.h"

namespace tessary::cli {
namespace {

// A transaction without a database: prints every statement it is given, as UTF-8,
// followed by a line GO, and answers every select with the upgrade date the script is for.
class StatementPrinter final : public Transaction {
  public:
    StatementPrinter(std::ostream& out, std::string upgrade_date)
        : out_(out), upgrade_date_(std::move(upgrade_date)) {}

    void connect() override { set_status(kSuccess); }
    void disconnect() override { set_status(kSuccess); }
    bool connected() const override { return true; }
    void execute_immediate(const std::string& statement) override {
        out_ << host::gbk_to_utf8(statement) << "\nGO\n";
        set_status(kSuccess);
    }
    void select_into(const std::string&, std::optional<std::string>& into) override {
        into = upgrade_date_;
        set_status(kSuccess);
    }
    void commit() override { set_status(kSuccess); }
    void rollback() override { set_status(kSuccess); }
    void set_autocommit(bool on) override {
        autocommit_ = on;
        set_status(kSuccess);
    }
    bool autocommit() const override { return autocommit_; }

  private:
    std::ostream& out_;
    std::string upgrade_date_;
    bool autocommit_ = true;
};

}  // namespace

int script_command(const Arguments& arguments) {
    std::map<std::string, std::string> options;
    if (auto error = parse_options(arguments, {"--from", "--scripts", "--package"}, options))
        return fail(*error, kUsageError);
    const std::string from = options.count("--from") != 0 ? options["--from"] : "00000000";

    StatementPrinter printer(std::cout, host::utf8_to_gbk(from));
    printer.settings().dbms = kShippedClientInterface;
    TerminalUi ui;
    host::HostSystem system;
    UpgradeWindow window(ui, system, printer);
    // A preview prints the statements of an upgrade in general, not of the installation
    // here: the script folder is only the one asked for, none without --scripts.
    window.script_folder_override = std::string();
    if (options.count("--scripts") != 0) {
        // The run would pass over a folder it cannot read; a preview asked for it.
        const auto listed = files::list_files(system, options["--scripts"], "*.sql");
        if (!listed)
            return fail("cannot read " + host::system_text_to_utf8(options["--scripts"]) + ": " +
                        listed.error);
        window.script_folder_override = options["--scripts"];
    }

    // The package follows the batches, as in the upgrade run.
    wf_dbupgrade_2007(window);
    std::optional<package::ApplyOutcome> package_outcome;
    if (options.count("--package") != 0) {
        package_outcome = package::apply_package(window, options["--package"]);
    }
    std::cout << std::flush;

    if (!is_gate_date(host::utf8_to_gbk(from))) {
        return fail(host::system_text_to_utf8(from) +
                    " is not an upgrade date of this program; nothing to print");
    }
    if (package_outcome && *package_outcome != package::ApplyOutcome::kApplied) {
        const std::string shown = host::system_text_to_utf8(options["--package"]);
        return fail(*package_outcome == package::ApplyOutcome::kMissing
                        ? "the package " + shown + " does not exist"
                        : "the package " + shown +
                              " was not printed to its end; see the message above");
    }
    return std::cout ? kSuccess : fail("cannot write the statements to standard output");
}

}  // namespace tessary::cli
