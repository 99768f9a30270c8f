#pragma once

#include <string_view>

// Which failures of the upgrade's statements are expected. The run passes over every
// failing statement by design, and on a database that already has what a batch adds most
// of them only say "already there" (or "not there to drop"). The window's progress list,
// the run log and tessary-cli tell those apart from the failures that deserve a look by
// SQL Server's native error number, with this one table.

namespace tessary {

struct ExpectedFailure {
    long native_error;
    std::string_view meaning;  // in English, for tessary-cli's reports
};

// The entry for `native_error`, or nullptr when a failure with that number is unexpected
// (as is one without a number, 0).
const ExpectedFailure* expected_failure(long native_error);

}  // namespace tessary
