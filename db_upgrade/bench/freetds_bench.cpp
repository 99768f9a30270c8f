// A whole upgrade through unixODBC and FreeTDS's driver against the wire-level SQL Server
// stand-in, set against the same statements sent by a bare ODBC loop (SQLExecDirect, then
// SQLMoreResults until no result is left, nothing else) to an identical server in the same
// run. Prints the statements per second of both, the ratio of their times (goal: at most
// 1.1) and what the upgrade adds per statement. Not a test: run it by hand, e.g.
// build/default/db_upgrade/tessary_freetds_bench.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/window.h"
#include "odbc/connection_string.h"
#include "odbc/odbc_transaction.h"
#include "recording_ui.h"
#include "store_fixture.h"
#include "tds_server.h"
#include "temp_dir.h"
#include "test_system.h"

namespace {

namespace t = tessary::testing;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 41;
constexpr const char* kServerName = "storesrv";

void require(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "freetds_bench: %s\n", what.c_str());
        std::exit(1);
    }
}

// The stand-in in this process, over a store database as a new installation leaves it. (A
// second database would add a pass with autocommit off, whose commits are round trips of
// their own that the bare loop does not make.)
class Server {
  public:
    Server() : databases_(timeline_, kServerName), server_(databases_, kServerName, quiet_) {
        databases_.add_database(t::store_database("store", "00000000"));
        port_ = server_.listen(0);
        thread_ = std::thread([this] { server_.serve(); });
    }
    ~Server() {
        server_.stop();
        thread_.join();
    }

    tessary::Transaction::Settings settings() const {
        tessary::Transaction::Settings settings;
        settings.server_name = "127.0.0.1," + std::to_string(port_);
        settings.database = "store";
        settings.log_id = "korvane";
        settings.log_pass = "tqzvbno";
        return settings;
    }
    // The statements the server ran, in order.
    std::vector<std::string> statements() const {
        std::vector<std::string> texts;
        for (const auto& event : timeline_.events()) {
            if (event.kind == t::Event::Kind::kExecute || event.kind == t::Event::Kind::kSelect) {
                texts.push_back(event.text);
            }
        }
        return texts;
    }

  private:
    t::Timeline timeline_;
    t::SqlServerDouble databases_;
    std::ostream quiet_{nullptr};
    t::TdsServer server_;
    int port_ = 0;
    std::thread thread_;
};

// The upgrade button's run, connected beforehand as the window connects on opening.
// Returns its time in seconds and the statements the server received during it.
double time_upgrade(std::vector<std::string>& statements) {
    Server server;
    const t::TempDir work_dir;  // the run log goes there
    t::Timeline timeline;
    tessary::odbc::OdbcTransaction sqlca;
    t::RecordingUi ui(timeline);
    t::TestSystem system;
    const auto settings = server.settings();
    system.registry = {{"DATABASE", settings.database}, {"SERVERNAME", settings.server_name}};
    system.current_dir = work_dir.path().string();
    tessary::UpgradeWindow window(ui, system, sqlca);
    tessary::open(window);
    tessary::ue_postopen(window);
    require(sqlca.connected(), "the upgrade could not connect: " + sqlca.sqlerrtext());
    const std::size_t before = server.statements().size();

    const auto start = Clock::now();
    tessary::cb_1_clicked(window);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    statements = server.statements();
    statements.erase(statements.begin(), statements.begin() + static_cast<long>(before));
    sqlca.disconnect();
    return seconds;
}

// The same statements through the plainest ODBC loop, to a fresh identical server.
double time_bare_loop(const std::vector<std::string>& statements) {
    Server server;
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
    std::string text =
        tessary::odbc::build_connection_string(server.settings(), tessary::odbc::kDefaultDriver);
    const SQLRETURN connected = SQLDriverConnect(
        connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    require(SQL_SUCCEEDED(connected), "the bare loop could not connect");
    SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement);

    const auto start = Clock::now();
    for (const std::string& sql : statements) {
        SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                      static_cast<SQLINTEGER>(sql.size()));
        while (SQL_SUCCEEDED(SQLMoreResults(statement))) {
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLDisconnect(connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    unsetenv("TESSARY_ODBC_DRIVER");
    // Each run times both, back to back and in alternating order, so that a busy machine
    // slows both alike; the figures are the medians over the runs.
    std::vector<double> upgrade_times, bare_times, ratios, overheads;
    std::vector<std::string> statements;
    time_upgrade(statements);
    for (int run = 0; run < kRuns; ++run) {
        double upgrade = 0, bare = 0;
        if (run % 2 == 0) {
            upgrade = time_upgrade(statements);
            bare = time_bare_loop(statements);
        } else {
            bare = time_bare_loop(statements);
            upgrade = time_upgrade(statements);
        }
        upgrade_times.push_back(upgrade);
        bare_times.push_back(bare);
        ratios.push_back(upgrade / bare);
        overheads.push_back((upgrade - bare) / static_cast<double>(statements.size()));
    }
    const double upgrade = median(upgrade_times);
    const double bare = median(bare_times);
    const auto count = static_cast<double>(statements.size());

    std::printf("%zu statements of a whole upgrade from 00000000, median of %d runs\n",
                statements.size(), kRuns);
    std::printf("  upgrade through FreeTDS   %8.1f ms   %8.0f statements/s\n", upgrade * 1e3,
                count / upgrade);
    std::printf("  bare ODBC loop            %8.1f ms   %8.0f statements/s\n", bare * 1e3,
                count / bare);
    std::printf("  ratio %.2f (goal: at most 1.1), %.1f us more per statement\n", median(ratios),
                median(overheads) * 1e6);
    return 0;
}
