#pragma once

#include <string>

#include "core/transaction.h"

namespace tessary::odbc {

// The driver the connection string names unless TESSARY_ODBC_DRIVER names another one: on
// Windows the SQL Server driver that comes with the system, elsewhere FreeTDS's.
#ifdef _WIN32
inline constexpr const char* kDefaultDriver = "SQL Server";
#else
inline constexpr const char* kDefaultDriver = "FreeTDS";
#endif

// The driver named by TESSARY_ODBC_DRIVER, or kDefaultDriver.
std::string driver_from_environment();

// The connection string for `driver` from the settings of the transaction object. The server
// name takes the forms "host", "host\instance" and "host,port"; "." and "(local)" mean this
// machine. FreeTDS's driver (a name holding "FreeTDS" or "tdsodbc") gets them as its keywords
// Server and Port, ClientCharset GBK, and the database only when its name is ASCII; any other
// driver, Microsoft's among them, the server name as it is (they read these forms
// themselves), with the texts in the client's code page.
std::string build_connection_string(const Transaction::Settings& settings,
                                    const std::string& driver);

}  // namespace tessary::odbc
