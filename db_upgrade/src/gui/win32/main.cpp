// tessary.exe: the window that upgrades the store database, as a plain Win32 program.
#include "gui/this_build.h"
#include "host/host.h"
#include "odbc/odbc_transaction.h"
#include "w_db_upgrade.h"

// After windows.h, which w_db_upgrade.h brings.
#include <commctrl.h>

#include <utility>

namespace {

// The window writes its run log in its working folder, beside db.dat. Started in its own
// folder by a double click, that is the program's folder; started from the Start-menu
// shortcut of the installed package, it is the shortcut's folder under %ProgramData%, which
// a store user may write, unlike the program's folder under Program Files.
class WindowSystem final : public tessary::host::HostSystem {
  public:
    std::string program_directory() override { return current_directory(); }
};

}  // namespace

// The application object db_upgrade_pos: create (the transaction object sqlca), open (the
// window), close (disconnect sqlca once the window has closed), destroy (the window before
// the sqlca it uses).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The manifest asks for version 6 of the common controls, in the look of the system.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);

    WindowSystem system;
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
