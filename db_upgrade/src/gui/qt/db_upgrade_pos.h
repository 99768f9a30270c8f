#pragma once

#include <memory>

#include "core/system.h"
#include "core/transaction.h"
#include "w_db_upgrade.h"

namespace tessary::gui {

// The application object: it owns the transaction object sqlca and the one window, and
// tears both down at the end. The GUI runtime's other global objects (message, dynamic
// SQL areas, error object) have no counterpart here: nothing of the program uses them.
class DbUpgradePos {
  public:
    // create: names the application "db_upgrade_pos" and takes the transaction object; the
    // window reaches the machine through `system`, which must outlive the application.
    DbUpgradePos(std::unique_ptr<Transaction> sqlca, System& system, WindowSetup setup);
    DbUpgradePos(const DbUpgradePos&) = delete;
    DbUpgradePos& operator=(const DbUpgradePos&) = delete;

    // open: opens w_db_upgrade.
    void open();
    // close, once the window has closed: disconnects sqlca.
    void close();

    WDbUpgrade& window() { return *window_; }
    Transaction& sqlca() { return *sqlca_; }

  private:
    // destroy: members go in reverse order, the window before the sqlca it uses.
    std::unique_ptr<Transaction> sqlca_;
    std::unique_ptr<WDbUpgrade> window_;
};

}  // namespace tessary::gui
