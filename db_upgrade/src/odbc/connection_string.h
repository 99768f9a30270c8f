#pragma once

#include <string>

#include "core/transaction.h"

namespace tessary::odbc {

// The driver the connection string names unless TESSARY_ODBC_DRIVER names another one.
inline constexpr const char* kDefaultDriver = "FreeTDS";

// The driver named by TESSARY_ODBC_DRIVER, or kDefaultDriver.
std::string driver_from_environment();

// The connection string for FreeTDS's driver (keywords Server, Port, Database, UID, PWD,
// ClientCharset) from the settings of the transaction object. The server name takes the
// forms "host", "host\instance" and "host,port"; "." and "(local)" mean this machine.
// Texts go to the server as GBK.
std::string build_connection_string(const Transaction::Settings& settings,
                                    const std::string& driver);

}  // namespace tessary::odbc
