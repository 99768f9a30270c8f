#pragma once

#include <optional>
#include <string>
#include <utility>

// The transaction object: the program's one database connection, as the upgrade core uses
// it. The ODBC layer provides it in the program; the tests provide a SQL Server double.
//
// Every text that crosses this interface is a GBK byte string, as the store database holds
// it.

namespace tessary {

// Settings are taken at connect(); set_autocommit also switches a live connection.
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

    // Whether connect() reaches the server the settings name; false for a transaction given
    // its whole connection, which takes no server name from them.
    virtual bool takes_server_name() const { return true; }

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
    // Whether the last operation failed because the connection to the server is lost: the
    // driver's communication link failure. Nothing sent afterwards reaches the database.
    bool link_lost() const { return link_lost_; }

  protected:
    void set_status(long code, std::string text = {}, long dbcode = 0, bool link_lost = false) {
        sqlcode_ = code;
        sqlerrtext_ = std::move(text);
        sqldbcode_ = dbcode;
        link_lost_ = link_lost;
    }

  private:
    Settings settings_;
    long sqlcode_ = 0;
    std::string sqlerrtext_;
    long sqldbcode_ = 0;
    bool link_lost_ = false;
};

}  // namespace tessary
