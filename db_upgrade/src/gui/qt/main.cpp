// tessary: the window that upgrades the store database.
#include <QApplication>
#include <memory>

#include "db_upgrade_pos.h"
#include "gui/this_build.h"
#include "host/host.h"
#include "odbc/odbc_transaction.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tessary::gui::WindowSetup setup;
    setup.build = tessary::gui::kThisBuild;
    tessary::host::HostSystem system;
    tessary::gui::DbUpgradePos db_upgrade_pos(std::make_unique<tessary::odbc::OdbcTransaction>(),
                                              system, std::move(setup));
    db_upgrade_pos.open();
    const int exit_code = QApplication::exec();
    db_upgrade_pos.close();
    return exit_code;
}
