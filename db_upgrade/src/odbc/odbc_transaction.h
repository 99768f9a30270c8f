#pragma once

#include <optional>
#include <string>

#include "core/transaction.h"

namespace tessary::odbc {

struct Diagnostics;

// The transaction object over an ODBC driver manager (unixODBC, or Windows' own). Texts go
// through the narrow API as they are: GBK statements in, the driver's GBK texts out.
class OdbcTransaction final : public Transaction {
  public:
    // Connects with `connection_string` when given; otherwise builds one for
    // driver_from_environment() from the settings at connect().
    explicit OdbcTransaction(std::optional<std::string> connection_string = std::nullopt);
    ~OdbcTransaction() override;
    OdbcTransaction(const OdbcTransaction&) = delete;
    OdbcTransaction& operator=(const OdbcTransaction&) = delete;

    bool takes_server_name() const override { return !connection_string_; }
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
    void end_transaction(bool commit);
    // Takes the status of a failure of the live connection.
    void fail(const Diagnostics& error);
    bool require_connection();

    std::optional<std::string> connection_string_;
    void* environment_ = nullptr;  // SQLHENV
    void* connection_ = nullptr;   // SQLHDBC
    void* statement_ = nullptr;    // SQLHSTMT, kept while connected
    bool connected_ = false;
    bool autocommit_ = true;
};

}  // namespace tessary::odbc
