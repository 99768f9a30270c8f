#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the upgrade core needs from the program around it. The Qt window, the
// command-line twin and the tests each provide a Runtime; the core includes no toolkit
// or database client header.
//
// Every text that crosses these interfaces is a GBK byte string, as the store database,
// the registry and the script files hold it. A runtime that shows text to a person
// converts it at its own boundary.
//
// The core may run on a worker thread (the Qt window keeps painting during a run), so a
// runtime must accept every call from the thread that runs the core, and message_box
// returns only once the user has dismissed the box.

namespace tessary {

// The transaction object: the program's one database connection. Settings are taken at
// connect(); set_autocommit also switches a live connection.
class Transaction {
  public:
    struct Settings {
        std::string dbms;  // client interface, e.g. "MSS"
        std::string database;
        std::string server_name;
        std::string log_id;
        std::string log_pass;
        std::string dbparm;  // driver parameter string
        std::string lock;    // isolation level, e.g. "RU" for read uncommitted
    };

    // Status codes after a statement, as the upgrade code tests them.
    static constexpr long kSuccess = 0;
    static constexpr long kNotFound = 100;
    static constexpr long kError = -1;

    virtual ~Transaction() = default;

    // Virtual so that a transaction routing another one (the run log) shows that one's
    // settings: the package applier reads the client interface from them.
    virtual Settings& settings() { return settings_; }
    virtual const Settings& settings() const { return settings_; }

    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual bool connected() const = 0;

    // Executes one statement text as it stands.
    virtual void execute_immediate(const std::string& statement) = 0;

    // Singleton select of one column. A row sets `into` (nullopt for NULL) and status 0;
    // no row leaves `into` unchanged with status kNotFound; an error leaves it unchanged
    // with status kError.
    virtual void select_into(const std::string& statement, std::optional<std::string>& into) = 0;

    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual void set_autocommit(bool on) = 0;
    virtual bool autocommit() const = 0;

    // Outcome of the last operation: 0 success, 100 no row, anything else a failure,
    // with the database client's error text and the database's own error number (SQL
    // Server's native error; 0 when the database gave none).
    long sqlcode() const { return sqlcode_; }
    const std::string& sqlerrtext() const { return sqlerrtext_; }
    long sqldbcode() const { return sqldbcode_; }

  protected:
    void set_status(long code, std::string text = {}, long dbcode = 0) {
        sqlcode_ = code;
        sqlerrtext_ = std::move(text);
        sqldbcode_ = dbcode;
    }

  private:
    Settings settings_;
    long sqlcode_ = 0;
    std::string sqlerrtext_;
    long sqldbcode_ = 0;
};

class Runtime {
  public:
    virtual ~Runtime() = default;

    // Modal message box; returns when dismissed.
    virtual void message_box(const std::string& title, const std::string& text) = 0;
    virtual void beep(int times) = 0;
    // Shows or hides the wait cursor; returns the previous state so a caller can restore it.
    virtual bool set_wait_cursor(bool on) = 0;

    // A string value of a key under HKEY_LOCAL_MACHINE (key path without the hive, e.g.
    // "SOFTWARE\\korvane"); nullopt when the key or the value is missing.
    virtual std::optional<std::string> registry_string(const std::string& key,
                                                       const std::string& value) = 0;

    // The process's current directory, without a trailing separator.
    virtual std::string current_directory() = 0;
    // The directory of the running program, without a trailing separator; the run log of
    // an upgrade is written there.
    virtual std::string program_directory() = 0;

    // lb_1, the maintainers' file list: replaced by `names` (already sorted).
    virtual void show_file_list(const std::vector<std::string>& names) = 0;
    // lb_2, the progress list: `line` becomes its first line.
    virtual void insert_progress_line(const std::string& line) = 0;

    // cbx_proc: whether the upgrade run ends by applying the script package.
    virtual bool apply_package_checked() = 0;
    // cb_1: the upgrade button.
    virtual void set_upgrade_enabled(bool enabled) = 0;

    // The transaction object `sqlca`.
    virtual Transaction& sqlca() = 0;
};

// Shows the wait cursor while a step runs and puts back what was there before.
class WaitCursor {
  public:
    explicit WaitCursor(Runtime& runtime)
        : runtime_(runtime), was_on_(runtime.set_wait_cursor(true)) {}
    ~WaitCursor() {
        if (!was_on_) runtime_.set_wait_cursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    Runtime& runtime_;
    bool was_on_;
};

}  // namespace tessary
