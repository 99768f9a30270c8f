// vortal-cli pending: the end-of-day reconciliation of the payment journal.
#pragma once

// Runs "vortal-cli pending" with the arguments that follow "pending". Returns the exit code:
// 0 nothing to act on, 10 an order was paid after its till reported a failure, or is still
// paid after its till reported the refund done (before all else), 11 some orders could not be
// checked (a query failed, or none can be made), 1 the journal or the library cannot be read
// or anything else failed, 2 bad arguments.
int run_pending(int argc, char** argv);
