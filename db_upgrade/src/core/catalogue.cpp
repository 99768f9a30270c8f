#include <string>

#include "statements.h"
#include "window.h"

namespace tessary {

// Sends every step without looking at the database first; what already exists is refused
// by the database and passed over.
void wf_create_table_200327(UpgradeWindow& w) {
    for (std::string_view step : statements::catalogue_200327) {
        const std::string ls_tmp(step);
        w.sqlca().execute_immediate(ls_tmp);
        w.sqlca().commit();
    }
}

}  // namespace tessary
