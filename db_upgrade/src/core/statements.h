#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The statement texts the upgrade sends: the dated batches and the schema catalogue,
// embedded from db_upgrade/data at build time as GBK bytes (see data/README.md), and the
// fixed statements around them (statements.cpp). Each is sent exactly as it stands.

namespace tessary::statements {

// A fixed, ordered list of statements.
struct StatementList {
    const std::string_view* first;
    std::size_t count;

    const std::string_view* begin() const { return first; }
    const std::string_view* end() const { return first + count; }
    std::size_t size() const { return count; }
    std::string_view operator[](std::size_t i) const { return first[i]; }
};

// Batches named by the upgrade date that selects them.
extern const StatementList batch_00000000;
extern const StatementList batch_20140722;
extern const StatementList batch_20150825;
// The batch for 20200117 runs its menu rows, then the catalogue, then the version label,
// then the procedure rebuild, then the grant insert.
extern const StatementList batch_20200117_menus;
extern const StatementList batch_20200117_version;
extern const StatementList batch_20200117_grant;

// The 144 steps of wf_create_table_200327.
extern const StatementList catalogue_200327;

// The recorded upgrade date, '00000000' when the database has no row for it.
extern const std::string_view select_upgrade_date;
// The row of the upgrade date for a database that has none.
extern const std::string_view insert_upgrade_date;
// The name of the second store database, as the server spells it.
extern const std::string_view select_second_database;
// The version label, when the database has a row for it.
extern const std::string_view select_database_version;

// The run lock: an exclusive application lock of the session on 'tessary-upgrade' in master
// (so that it covers every database of the server), asked for without waiting. Each
// answers with the procedure's result: for the lock 0 or 1 granted, -1 held by another
// session; for the release 0 released.
extern const std::string_view take_run_lock;
extern const std::string_view release_run_lock;

// "use" of a database, its name in brackets as SQL Server quotes a name ("]" doubled), so
// that names such as store-01 or "store 2" are taken whole.
std::string use_database(std::string_view name);

}  // namespace tessary::statements
