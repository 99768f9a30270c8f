// tessary: the window that upgrades the store database.
#include <QApplication>
#include <memory>

#include "db_upgrade_pos.h"
#include "host/host.h"
#include "odbc/odbc_transaction.h"

namespace {

// A development build (CMake option TESSARY_DEVELOPMENT_BUILD, on by default in Debug
// builds) shows the maintainers' controls; the shipped program hides them.
#ifdef TESSARY_DEVELOPMENT_BUILD
constexpr tessary::gui::BuildKind kThisBuild = tessary::gui::BuildKind::kDevelopment;
#else
constexpr tessary::gui::BuildKind kThisBuild = tessary::gui::BuildKind::kShipped;
#endif

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tessary::gui::WindowSetup setup;
    setup.build = kThisBuild;
    tessary::host::HostSystem system;
    tessary::gui::DbUpgradePos db_upgrade_pos(std::make_unique<tessary::odbc::OdbcTransaction>(),
                                              system, std::move(setup));
    db_upgrade_pos.open();
    const int exit_code = QApplication::exec();
    db_upgrade_pos.close();
    return exit_code;
}
