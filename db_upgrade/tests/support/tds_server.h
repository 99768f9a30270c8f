#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sql_server_double.h"

namespace tessary::testing {

// Puts the SQL Server double behind the wire: a TDS 7.3/7.4 server on 127.0.0.1, without
// encryption, that real clients (FreeTDS, and unixODBC with FreeTDS's driver) log in to
// and send statements through. Each login opens a session of its own on the double's
// server (SqlServerDouble::open_session) with the client's login and database, so clients
// connect at once as they do to SQL Server: they see each other's committed changes and
// share the application locks. Each SQL batch goes to the session as one statement, a
// select (or a declare ... select batch) as a select; the transaction manager requests
// begin, commit and roll back the session's transaction. The double decides what
// succeeds; the server only speaks the protocol. Every request is written to `log`, one
// UTF-8 line each.
class TdsServer {
  public:
    // `server_name` is the name the double was made with.
    TdsServer(SqlServerDouble& databases, std::string server_name, std::ostream& log);
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port) and returns the port; throws
    // std::runtime_error when it cannot.
    int listen(int port);
    // Accepts and serves clients until stop(), each on a thread of its own.
    void serve();
    // Ends serve(): closes the listening socket and every open connection, waits for them.
    void stop();
    // While the file `path` exists, every SQL batch waits, after a log line "holding: BATCH",
    // before it is logged and run: a batch in the log has passed (a test holds the server to
    // see what its client does meanwhile).
    void hold_statements_while(std::string path) { hold_file_ = std::move(path); }
    // The connection that sends the server's `batches`-th SQL batch is cut as that batch
    // arrives: the batch is not run, and the client's socket is reset (a log line "cut:
    // BATCH"). Later connections are served as before. 0: no cut.
    void cut_connection_at_batch(int batches) { cut_at_batch_ = batches; }

  private:
    friend class TdsSession;

    void write_log(const std::string& line);

    SqlServerDouble& databases_;
    const std::string server_name_;
    std::ostream& log_;
    std::mutex mutex_;  // guards the members below and the log
    std::set<int> connections_;
    std::map<int, std::thread> sessions_;  // by session number
    std::vector<int> ended_sessions_;
    std::atomic<int> listener_{-1};
    std::atomic<bool> stopping_{false};
    std::string hold_file_;
    int cut_at_batch_ = 0;
    std::atomic<int> batches_{0};
};

}  // namespace tessary::testing
