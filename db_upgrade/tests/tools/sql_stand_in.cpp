// tessary-sql-stand-in: the SQL Server double behind a TDS listener on 127.0.0.1, so that
// real clients (FreeTDS's tsql, unixODBC's isql, tessary itself) can be pointed at it.
//
//   tessary-sql-stand-in --port PORT [--database NAME]... [--upgrade-date YYYYMMDD]
//                        [--hold-while FILE] [--cut-at-batch N]
//
// Each --database puts a store database on the server in the state of a new installation
// whose recorded upgrade date is YYYYMMDD (default 00000000). Prints "listening on
// 127.0.0.1:PORT" once ready (port 0 takes a free one), then one line per request, and
// serves until killed. Login korvane, password tqzvbno. While FILE exists, each SQL batch
// waits before it runs (see TdsServer::hold_statements_while). The connection that sends the
// server's N-th SQL batch is reset instead of answered (TdsServer::cut_connection_at_batch).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sql_server_double.h"
#include "store_fixture.h"
#include "tds_server.h"
#include "timeline.h"

namespace {

constexpr const char* kServerName = "storesrv";

int usage(const std::string& problem) {
    std::cerr << "tessary-sql-stand-in: " << problem
              << "\nusage: tessary-sql-stand-in --port PORT [--database NAME]... "
                 "[--upgrade-date YYYYMMDD] [--hold-while FILE] [--cut-at-batch N]\n";
    return 2;
}

bool is_date(const std::string& text) {
    return text.size() == 8 && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    int port = -1;
    std::vector<std::string> names;
    std::string upgrade_date = "00000000";
    std::string hold_file;
    long cut_at_batch = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return usage(option + " needs a value");
        const std::string value = argv[++i];
        if (option == "--port") {
            char* end = nullptr;
            const long number = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || number < 0 || number > 65535) {
                return usage("--port needs a number from 0 to 65535");
            }
            port = static_cast<int>(number);
        } else if (option == "--database") {
            if (value.empty()) return usage("--database needs a name");
            names.push_back(value);
        } else if (option == "--upgrade-date") {
            if (!is_date(value)) return usage("--upgrade-date needs eight digits, YYYYMMDD");
            upgrade_date = value;
        } else if (option == "--hold-while") {
            hold_file = value;
        } else if (option == "--cut-at-batch") {
            char* end = nullptr;
            cut_at_batch = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || cut_at_batch < 1 || cut_at_batch > 1000000) {
                return usage("--cut-at-batch needs a number from 1 to 1000000");
            }
        } else {
            return usage("unknown option " + option);
        }
    }
    if (port < 0) return usage("--port is required");

    tessary::testing::Timeline timeline;
    tessary::testing::SqlServerDouble databases(timeline, kServerName);
    for (const std::string& name : names) {
        databases.add_database(tessary::testing::store_database(name, upgrade_date));
    }
    tessary::testing::TdsServer server(databases, kServerName, std::cout);
    server.hold_statements_while(hold_file);
    server.cut_connection_at_batch(static_cast<int>(cut_at_batch));
    try {
        port = server.listen(port);
    } catch (const std::runtime_error& error) {
        std::cerr << "tessary-sql-stand-in: " << error.what() << "\n";
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << port << std::endl;
    server.serve();
    return 0;
}
