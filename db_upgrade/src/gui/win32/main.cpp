// tessary.exe: the window that upgrades the store database, as a plain Win32 program.
#include "gui/this_build.h"
#include "host/host.h"
#include "odbc/odbc_transaction.h"
#include "w_db_upgrade.h"

// After windows.h, which w_db_upgrade.h brings.
#include <commctrl.h>

#include <utility>

// The application object db_upgrade_pos: create (the transaction object sqlca), open (the
// window), close (disconnect sqlca once the window has closed), destroy (the window before
// the sqlca it uses).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The manifest asks for version 6 of the common controls, in the look of the system.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);

    tessary::host::HostSystem system;
    tessary::odbc::OdbcTransaction sqlca;
    int exit_code = 0;
    {
        tessary::gui::win32::WindowSetup setup;
        setup.build = tessary::gui::kThisBuild;
        tessary::gui::win32::WDbUpgrade w_db_upgrade(sqlca, system, std::move(setup));
        w_db_upgrade.open();
        exit_code = tessary::gui::win32::run_message_loop(w_db_upgrade);
    }
    sqlca.disconnect();
    return exit_code;
}
