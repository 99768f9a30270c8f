#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "statements.h"
#include "transaction.h"

// What the upgrade run tells its callers beyond the window's events.

namespace tessary {

// Sends each statement of `list` through `sqlca`, each followed by a commit, without looking
// at the outcome: the batches and the catalogue pass over what the database refuses.
void execute_each_with_commit(Transaction& sqlca, const statements::StatementList& list);

// Whether a recorded upgrade date selects a batch (the four gate dates, exact match).
bool is_gate_date(std::string_view upgrade_date);

// The dates that select a batch, in the order the batches run.
std::vector<std::string_view> gate_dates();

// A dated batch: the date that selects it, and the statements of its own it sends (the last
// batch also rebuilds the procedures from the script folder, which adds that folder's).
struct Batch {
    std::string_view date;
    std::size_t fixed_statements;
};

// The batches an upgrade runs on a database that records `upgrade_date`, in their order;
// none for a date that selects no batch.
std::vector<Batch> batches_from(std::string_view upgrade_date);

// Whether a database that records `upgrade_date` has had every batch: only the last one,
// which runs on every upgrade, is left.
bool is_up_to_date(std::string_view upgrade_date);

// The text of the message box shown when the recorded date selects no batch (GBK); the
// package applier shows it too, when db.dat is missing.
extern const char* const kUpgradeIncompleteText;

// Title of the run's notices (GBK): the date that selects no batch, the end of the
// procedure rebuild.
extern const char* const kNoticeTitle;

}  // namespace tessary
