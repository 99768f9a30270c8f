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
namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 30;

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The diagnostics of a handle as one text: each record "message (SQLSTATE xxxxx)", one a
// line, repeated records once.
std::string diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
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
        std::string record(reinterpret_cast<const char*>(message.data()));
        record += " (SQLSTATE ";
        record += reinterpret_cast<const char*>(state);
        record += ")";
        bool repeated = false;
        for (const auto& earlier : records) repeated = repeated || earlier == record;
        if (!repeated) records.push_back(std::move(record));
    }
    std::string text;
    for (const auto& record : records) {
        if (!text.empty()) text += '\n';
        text += record;
    }
    return text.empty() ? "the ODBC driver reported a failure without diagnostics" : text;
}

// A statement handle freed on every path.
class Statement {
  public:
    explicit Statement(SQLHDBC connection) {
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
            error_ = diagnostics(SQL_HANDLE_DBC, connection);
            handle_ = SQL_NULL_HSTMT;
        }
    }
    ~Statement() {
        if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return handle_; }
    std::string error() const { return diagnostics(SQL_HANDLE_STMT, handle_); }

    // Runs the text as it stands; the error text when the statement could not be
    // allocated or the text failed.
    std::optional<std::string> run(const std::string& text) {
        if (handle_ == SQL_NULL_HSTMT) return error_;
        const SQLRETURN rc =
            SQLExecDirect(handle_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data())),
                          static_cast<SQLINTEGER>(text.size()));
        if (succeeded(rc) || rc == SQL_NO_DATA) return std::nullopt;
        return error();
    }

    // Goes through the remaining results of a batch: a server reports an error in a later
    // statement of a batch only there. Returns the first error text, or nullopt.
    std::optional<std::string> drain_results() {
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
    std::string error_;
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
        set_status(kError, diagnostics(SQL_HANDLE_ENV, environment));
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
        set_status(kError, diagnostics(SQL_HANDLE_DBC, connection));
        release();
        return;
    }

    if (settings().lock == "RU") {
        const SQLRETURN isolation = SQLSetConnectAttr(
            connection, SQL_ATTR_TXN_ISOLATION,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_TXN_READ_UNCOMMITTED)), 0);
        if (!succeeded(isolation)) {
            set_status(kError, diagnostics(SQL_HANDLE_DBC, connection));
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
    const SQLRETURN rc = SQLDisconnect(connection_);
    std::string error = succeeded(rc) ? std::string() : diagnostics(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
    connection_ = nullptr;
    environment_ = nullptr;
    connected_ = false;
    set_status(error.empty() ? kSuccess : kError, std::move(error));
}

bool OdbcTransaction::require_connection() {
    if (connected_) return true;
    set_status(kError, "the transaction object is not connected");
    return false;
}

void OdbcTransaction::execute_immediate(const std::string& statement_text) {
    if (!require_connection()) return;
    Statement statement(connection_);
    if (auto error = statement.run(statement_text)) {
        set_status(kError, std::move(*error));
        return;
    }
    if (auto error = statement.drain_results()) {
        set_status(kError, std::move(*error));
        return;
    }
    set_status(kSuccess);
}

void OdbcTransaction::select_into(const std::string& statement_text,
                                  std::optional<std::string>& into) {
    if (!require_connection()) return;
    Statement statement(connection_);
    if (auto error = statement.run(statement_text)) {
        set_status(kError, std::move(*error));
        return;
    }
    // Skip results without columns (row counts of earlier statements in the text).
    for (;;) {
        SQLSMALLINT columns = 0;
        if (!succeeded(SQLNumResultCols(statement.handle(), &columns))) {
            set_status(kError, statement.error());
            return;
        }
        if (columns > 0) break;
        const SQLRETURN rc = SQLMoreResults(statement.handle());
        if (rc == SQL_NO_DATA) {
            set_status(kError, "the select returned no result set");
            return;
        }
        if (!succeeded(rc)) {
            set_status(kError, statement.error());
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
        set_status(kError, statement.error());
        return;
    }
    rc = SQLFetch(statement.handle());
    if (succeeded(rc)) {
        set_status(kError, "the singleton select returned more than one row");
        return;
    }
    if (rc != SQL_NO_DATA) {
        set_status(kError, statement.error());
        return;
    }
    if (auto error = statement.drain_results()) {
        set_status(kError, std::move(*error));
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
        set_status(kError, diagnostics(SQL_HANDLE_DBC, connection_));
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
        const SQLRETURN rc = SQLSetConnectAttr(connection_, SQL_ATTR_AUTOCOMMIT,
                                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                                   on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                               0);
        if (!succeeded(rc)) {
            set_status(kError, diagnostics(SQL_HANDLE_DBC, connection_));
            return;
        }
    }
    autocommit_ = on;
    set_status(kSuccess);
}

}  // namespace tessary::odbc
