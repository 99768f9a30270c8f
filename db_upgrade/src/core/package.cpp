#include "window.h"

namespace tessary {

// TODO(#5): apply the script package db.dat.
void cb_put_clicked(UpgradeWindow&) {}

}  // namespace tessary
