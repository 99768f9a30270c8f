#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/transaction.h"
#include "timeline.h"

namespace tessary::testing {

// Stands in for SQL Server in the tests of the upgrade: not a SQL engine, but a server that
// knows its databases, their tables with columns, primary keys and named constraints, and
// the rows of the tables the upgrade fills. It understands the statement shapes the upgrade
// sends (use, create table, alter table ... add, positional and named inserts, the
// single-value updates of t_sys_system, the grant insert, the two selects of the run, and
// drop and create of procedures and triggers), refuses what already exists or is missing as
// SQL Server does, and refuses whatever else it is sent. The grant insert and the two
// selects it knows by their texts, which it takes from the upgrade's own statements. For
// reading a database back it also answers "select C from T where K = 'v'" (one row at most)
// and "select count(*) from sysobjects where name = 'v'".
// Every operation goes into the timeline with its outcome.
//
// Transactions: with autocommit on each statement that succeeds is kept at once; with it
// off, changes wait for commit() (or a COMMIT at the end of a statement) and rollback()
// drops them. A failing statement changes nothing. Names compare without regard to case,
// as under the store databases' collation.
//
// Sessions: the double is one connection to its server; open_session() gives another one
// to the same server, on any thread. Sessions see each other's committed changes (a commit
// keeps the committing session's view of every database: concurrent writers are not
// merged, which no test needs) and share the server's
// application locks: the run lock of the upgrade (its two statements known by their texts)
// is granted to one session at a time, again to the session holding it, refused with -1 to
// any other, and given back when its holder releases it, disconnects or ends.
class SqlServerDouble final : public Transaction {
  public:
    using Row = std::vector<std::optional<std::string>>;

    struct Table {
        std::string name;
        std::vector<std::string> columns;
        std::vector<std::string> key;  // primary key columns; empty when none
        std::set<std::string> columns_with_named_default;
        std::vector<Row> rows;
        bool operator==(const Table& other) const;
        int column(const std::string& name) const;  // index, or -1
    };

    // A stored procedure or trigger, with the statement that created it.
    struct Routine {
        std::string kind;  // "procedure" or "trigger"
        std::string creation;
        bool operator==(const Routine& other) const {
            return kind == other.kind && creation == other.creation;
        }
    };

    struct Database {
        std::string name;
        std::map<std::string, Table> tables;  // by lower-case name
        std::set<std::string> objects;  // lower-case names of tables, constraints and routines
        std::map<std::string, Routine> routines;  // by lower-case name
        bool operator==(const Database& other) const;
        const Table* table(const std::string& name) const;
        Table* table(const std::string& name);
    };

    static inline const char* const kLogin = "korvane";
    static inline const char* const kPassword = "tqzvbno";

    // The number and severity SQL Server gives the error the double reports with `text`
    // (50000, severity 16, for what only the double says).
    struct NativeError {
        long number;
        int severity;
    };
    static NativeError native_error(const std::string& text);

    // The type SQL Server gives the one column of a select the double answers.
    enum class ColumnType { kVarchar, kNvarchar, kInt };
    static ColumnType column_type(const std::string& select);

    explicit SqlServerDouble(Timeline& timeline, std::string server_name = "storesrv");
    // Ends the session: gives back its application locks.
    ~SqlServerDouble() override;
    SqlServerDouble(const SqlServerDouble&) = delete;
    SqlServerDouble& operator=(const SqlServerDouble&) = delete;

    // Another session on this server, recording into the same timeline.
    std::unique_ptr<SqlServerDouble> open_session();

    // Puts a database on the server as if committed long ago. The server starts with master.
    void add_database(Database database);
    // The committed state of a database; nullptr when there is none of that name.
    const Database* committed(const std::string& name) const;
    // The database the connection is in.
    const std::string& current_database() const { return current_; }

    // Makes every statement that contains `fragment` fail with `error`.
    void refuse(std::string fragment, std::string error);

    void connect() override;
    void disconnect() override;
    bool connected() const override { return connected_; }
    void execute_immediate(const std::string& statement) override;
    void select_into(const std::string& statement, std::optional<std::string>& into) override;
    void commit() override;
    void rollback() override;
    void set_autocommit(bool on) override;
    bool autocommit() const override { return autocommit_; }

  private:
    using Databases = std::map<std::string, Database>;

    // What the sessions of one server share. Each operation of a session holds the mutex.
    struct Server {
        std::string name;
        std::mutex mutex;
        Databases committed;
        std::vector<std::pair<std::string, std::string>> refusals;
        // Application locks by resource: the session holding one, and how often it took it.
        std::map<std::string, std::pair<const SqlServerDouble*, int>> app_locks;
    };

    SqlServerDouble(Timeline& timeline, std::shared_ptr<Server> server);

    // The databases as this session sees them: with its uncommitted changes, if any.
    const Databases& state() const { return pending_ ? *pending_ : server_->committed; }
    void keep(Databases changed, bool commits);
    void release_app_locks();
    std::optional<std::string> refusal(const std::string& statement) const;
    // The change a statement makes to a copy of the working state, or the error it raises.
    std::optional<std::string> apply(const std::string& statement, Databases& state, bool& commits);
    std::optional<std::string> select(const std::string& statement,
                                      std::optional<std::string>& value, bool& found);
    std::optional<std::string> take_app_lock(const std::string& resource, std::string& result);
    std::optional<std::string> release_app_lock(const std::string& resource, std::string& result);
    void record(Event::Kind kind, const std::string& text, bool ok);

    Timeline& timeline_;
    std::shared_ptr<Server> server_;
    std::optional<Databases> pending_;  // changes not yet committed
    std::string current_;
    bool connected_ = false;
    bool autocommit_ = true;
};

// Builds a table for add_database().
SqlServerDouble::Table make_table(std::string name, std::vector<std::string> columns,
                                  std::vector<std::string> key = {});

}  // namespace tessary::testing
