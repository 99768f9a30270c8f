#pragma once

namespace tessary::testing {

// A loopback TCP port that nothing listens on: bound once at the system's choice, then
// freed, so a connection to it is refused at once.
int closed_loopback_port();

}  // namespace tessary::testing
