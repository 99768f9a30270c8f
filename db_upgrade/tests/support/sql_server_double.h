#pragma once

#include <map>
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

    // The change a statement makes to a copy of the working state, or the error it raises.
    std::optional<std::string> apply(const std::string& statement, Databases& state, bool& commits);
    std::optional<std::string> select(const std::string& statement,
                                      std::optional<std::string>& value, bool& found) const;
    void record(Event::Kind kind, const std::string& text, bool ok);

    Timeline& timeline_;
    std::string server_name_;
    Databases committed_;
    Databases working_;
    std::string current_;
    bool connected_ = false;
    bool autocommit_ = true;
    std::vector<std::pair<std::string, std::string>> refusals_;
};

// Builds a table for add_database().
SqlServerDouble::Table make_table(std::string name, std::vector<std::string> columns,
                                  std::vector<std::string> key = {});

}  // namespace tessary::testing
