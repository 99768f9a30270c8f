#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "temp_dir.h"

namespace tessary::testing {

// tessary-sql-stand-in started for one test on a free port of 127.0.0.1, as a user starts
// it; what it prints (its log of requests) goes to a file of the test's folder. Stopped
// when the object goes.
class StandIn {
  public:
    // `arguments` after --port, e.g. {"--database", "store"}.
    StandIn(const TempDir& dir, const std::vector<std::string>& arguments);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    int port() const { return port_; }
    // The server as the registry's SERVERNAME names it: "127.0.0.1,PORT".
    std::string server_name() const;
    // Everything it printed so far, UTF-8.
    std::string log() const;

    // Runs FreeTDS's tsql against `database` with `batches` (UTF-8, each ended by a line
    // "go"); returns what it printed, one line per value.
    std::string tsql(const std::string& database, const std::string& batches) const;

  private:
    void stop();

    const TempDir& dir_;
    pid_t child_ = -1;
    int port_ = 0;
};

}  // namespace tessary::testing
