#include "odbc_transaction.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <utility>
#include <vector>

#include "connection_string.h"

namespace tessary::odbc {

// What a driver reports about a failure: its records as one text, each "message (SQLSTATE
// xxxxx)", one a line, repeated records once; the native error number of the first record
// that has one (SQL Server's own number for a server error); and whether a record is of
// SQLSTATE class 08, a connection exception (08S01: communication link failure).
struct Diagnostics {
    std::string text;
    long native = 0;
    bool connection_exception = false;
};

namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 30;

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

Diagnostics diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
    Diagnostics found;
    std::vector<std::string> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::vector<SQLCHAR> message(1024);
        SQLRETURN rc = SQLGetDiagRec(handle_type, handle, i, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handle_type, handle, i, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!succeeded(rc)) break;
        if (found.native == 0) found.native = native;
        if (state[0] == '0' && state[1] == '8') found.connection_exception = true;
        std::string record(reinterpret_cast<const char*>(message.data()));
        record += " (SQLSTATE ";
        record += reinterpret_cast<const char*>(state);
        record += ")";
        bool repeated = false;
        for (const auto& earlier : records) repeated = repeated || earlier == record;
        if (!repeated) records.push_back(std::move(record));
    }
    for (const auto& record : records) {
        if (!found.text.empty()) found.text += '\n';
        found.text += record;
    }
    if (found.text.empty()) found.text = "the ODBC driver reported a failure without diagnostics";
    return found;
}

// One use of the connection's statement handle, which is allocated at its first use and kept
// for the connection's life (allocating one per statement costs a near server's upgrade a
// few per cent). Each use ends by closing what the statement left open.
class Statement {
  public:
    Statement(SQLHDBC connection, void*& kept) {
        if (kept == nullptr) {
            SQLHSTMT allocated = SQL_NULL_HSTMT;
            if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection, &allocated))) {
                error_ = diagnostics(SQL_HANDLE_DBC, connection);
                return;
            }
            kept = allocated;
        }
        handle_ = kept;
    }
    ~Statement() {
        if (handle_ != SQL_NULL_HSTMT) SQLFreeStmt(handle_, SQL_CLOSE);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return handle_; }
    Diagnostics error() const { return diagnostics(SQL_HANDLE_STMT, handle_); }

    // Runs the text as it stands; the diagnostics when the statement could not be
    // allocated or the text failed.
    std::optional<Diagnostics> run(const std::string& text) {
        if (handle_ == SQL_NULL_HSTMT) return error_;
        const SQLRETURN rc =
            SQLExecDirect(handle_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data())),
                          static_cast<SQLINTEGER>(text.size()));
        if (succeeded(rc) || rc == SQL_NO_DATA) return std::nullopt;
        return error();
    }

    // Goes through the remaining results of a batch: a server reports an error in a later
    // statement of a batch only there. Returns the first error, or nullopt.
    std::optional<Diagnostics> drain_results() {
        for (;;) {
            const SQLRETURN rc = SQLMoreResults(handle_);
            if (rc == SQL_NO_DATA) return std::nullopt;
            if (!succeeded(rc)) return error();
        }
    }

    // Column 1 of the current row, whatever its length; nullopt for NULL.
    bool read_first_column(std::optional<std::string>& value) {
        std::string text;
        char buffer[512];
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                SQLGetData(handle_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (!succeeded(rc)) return false;
            if (indicator == SQL_NULL_DATA) {
                value = std::nullopt;
                return true;
            }
            const bool truncated =
                rc == SQL_SUCCESS_WITH_INFO &&
                (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer));
            text.append(buffer,
                        truncated ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
            if (!truncated) break;
        }
        value = std::move(text);
        return true;
    }

  private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
    Diagnostics error_;
};

}  // namespace

OdbcTransaction::OdbcTransaction(std::optional<std::string> connection_string)
    : connection_string_(std::move(connection_string)) {}

OdbcTransaction::~OdbcTransaction() {
    disconnect();
}

void OdbcTransaction::connect() {
    if (connected_) {
        set_status(kError, "the transaction object is already connected");
        return;
    }
    SQLHENV environment = SQL_NULL_HENV;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
        set_status(kError, "the ODBC driver manager cannot be initialised");
        return;
    }
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLHDBC connection = SQL_NULL_HDBC;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
        const Diagnostics error = diagnostics(SQL_HANDLE_ENV, environment);
        set_status(kError, error.text, error.native);
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
        return;
    }
    const auto release = [&] {
        SQLFreeHandle(SQL_HANDLE_DBC, connection);
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
    };

    SQLSetConnectAttr(connection, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
    SQLSetConnectAttr(connection, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                          autocommit_ ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                      0);

    std::string text = connection_string_
                           ? *connection_string_
                           : build_connection_string(settings(), driver_from_environment());
    const SQLRETURN rc = SQLDriverConnect(
        connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        const Diagnostics error = diagnostics(SQL_HANDLE_DBC, connection);
        set_status(kError, error.text, error.native);
        release();
        return;
    }

    if (settings().lock == "RU") {
        const SQLRETURN isolation = SQLSetConnectAttr(
            connection, SQL_ATTR_TXN_ISOLATION,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_TXN_READ_UNCOMMITTED)), 0);
        if (!succeeded(isolation)) {
            const Diagnostics error = diagnostics(SQL_HANDLE_DBC, connection);
            set_status(kError, error.text, error.native);
            SQLDisconnect(connection);
            release();
            return;
        }
    }

    environment_ = environment;
    connection_ = connection;
    connected_ = true;
    set_status(kSuccess);
}

void OdbcTransaction::disconnect() {
    if (!connected_) {
        set_status(kSuccess);
        return;
    }
    if (statement_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
    statement_ = nullptr;
    const SQLRETURN rc = SQLDisconnect(connection_);
    const Diagnostics error =
        succeeded(rc) ? Diagnostics() : diagnostics(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
    connection_ = nullptr;
    environment_ = nullptr;
    connected_ = false;
    set_status(error.text.empty() ? kSuccess : kError, error.text, error.native);
}

bool OdbcTransaction::require_connection() {
    if (connected_) return true;
    set_status(kError, "the transaction object is not connected");
    return false;
}

// A connection exception says the link is lost. FreeTDS's driver gives the statement during
// which the server's connection went away "Unknown error" (HY000) and only the later ones
// 08S01, but says the connection is dead at once.
void OdbcTransaction::fail(const Diagnostics& error) {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const bool lost =
        error.connection_exception ||
        (succeeded(SQLGetConnectAttr(connection_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE);
    set_status(kError, error.text, error.native, lost);
}

void OdbcTransaction::execute_immediate(const std::string& statement_text) {
    if (!require_connection()) return;
    Statement statement(connection_, statement_);
    if (auto error = statement.run(statement_text)) {
        fail(*error);
        return;
    }
    if (auto error = statement.drain_results()) {
        fail(*error);
        return;
    }
    set_status(kSuccess);
}

void OdbcTransaction::select_into(const std::string& statement_text,
                                  std::optional<std::string>& into) {
    if (!require_connection()) return;
    Statement statement(connection_, statement_);
    if (auto error = statement.run(statement_text)) {
        fail(*error);
        return;
    }
    // Skip results without columns (row counts of earlier statements in the text).
    for (;;) {
        SQLSMALLINT columns = 0;
        if (!succeeded(SQLNumResultCols(statement.handle(), &columns))) {
            fail(statement.error());
            return;
        }
        if (columns > 0) break;
        const SQLRETURN rc = SQLMoreResults(statement.handle());
        if (rc == SQL_NO_DATA) {
            set_status(kError, "the select returned no result set");
            return;
        }
        if (!succeeded(rc)) {
            fail(statement.error());
            return;
        }
    }

    SQLRETURN rc = SQLFetch(statement.handle());
    if (rc == SQL_NO_DATA) {
        set_status(kNotFound);
        return;
    }
    std::optional<std::string> value;
    if (!succeeded(rc) || !statement.read_first_column(value)) {
        fail(statement.error());
        return;
    }
    rc = SQLFetch(statement.handle());
    if (succeeded(rc)) {
        set_status(kError, "the singleton select returned more than one row");
        return;
    }
    if (rc != SQL_NO_DATA) {
        fail(statement.error());
        return;
    }
    if (auto error = statement.drain_results()) {
        fail(*error);
        return;
    }
    into = std::move(value);
    set_status(kSuccess);
}

void OdbcTransaction::end_transaction(bool commit) {
    if (!require_connection()) return;
    const SQLRETURN rc =
        SQLEndTran(SQL_HANDLE_DBC, connection_, commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (succeeded(rc)) {
        set_status(kSuccess);
    } else {
        fail(diagnostics(SQL_HANDLE_DBC, connection_));
    }
}

void OdbcTransaction::commit() {
    end_transaction(true);
}
void OdbcTransaction::rollback() {
    end_transaction(false);
}

void OdbcTransaction::set_autocommit(bool on) {
    if (connected_) {
        // ODBC says that switching autocommit on commits the open transaction, but FreeTDS's
        // driver rolls it back; committing first keeps the work on every driver.
        if (on && !autocommit_) {
            end_transaction(true);
            if (sqlcode() != kSuccess) return;
        }
        const SQLRETURN rc = SQLSetConnectAttr(connection_, SQL_ATTR_AUTOCOMMIT,
                                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                                   on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                               0);
        if (!succeeded(rc)) {
            fail(diagnostics(SQL_HANDLE_DBC, connection_));
            return;
        }
    }
    autocommit_ = on;
    set_status(kSuccess);
}

}  // namespace tessary::odbc
