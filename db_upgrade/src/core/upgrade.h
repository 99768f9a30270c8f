#pragma once

#include <string_view>

#include "statements.h"
#include "transaction.h"

// What the upgrade run tells its callers beyond the window's events.

namespace tessary {

// Sends each statement of `list` through `sqlca`, each followed by a commit, without looking
// at the outcome: the batches and the catalogue pass over what the database refuses.
void execute_each_with_commit(Transaction& sqlca, const statements::StatementList& list);

// Whether a recorded upgrade date selects a batch (the four gate dates, exact match).
bool is_gate_date(std::string_view upgrade_date);

// The text of the message box shown when the recorded date selects no batch (GBK); the
// package applier shows it too, when db.dat is missing.
extern const char* const kUpgradeIncompleteText;

// Title of the run's notices (GBK): the date that selects no batch, the end of the
// procedure rebuild.
extern const char* const kNoticeTitle;

}  // namespace tessary
