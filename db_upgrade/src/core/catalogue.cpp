#include "statements.h"
#include "upgrade.h"
#include "window.h"

namespace tessary {

// Sends every step without looking at the database first; what already exists is refused
// by the database and passed over.
void wf_create_table_200327(UpgradeWindow& w) {
    w.step = "架构目录";
    execute_each_with_commit(w.sqlca(), statements::catalogue_200327);
}

}  // namespace tessary
