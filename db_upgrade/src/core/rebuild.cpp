#include "window.h"

namespace tessary {

// TODO(#5): rebuild the procedures from the scripts of the folder "32k" under PATH.
void wf_exec_sql(UpgradeWindow&) {}

}  // namespace tessary
