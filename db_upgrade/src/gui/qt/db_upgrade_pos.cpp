#include "db_upgrade_pos.h"

#include <QCoreApplication>
#include <utility>

namespace tessary::gui {

DbUpgradePos::DbUpgradePos(std::unique_ptr<Transaction> sqlca, System& system, WindowSetup setup)
    : sqlca_(std::move(sqlca)) {
    QCoreApplication::setApplicationName(QStringLiteral("db_upgrade_pos"));
    window_ = std::make_unique<WDbUpgrade>(*sqlca_, system, std::move(setup));
}

void DbUpgradePos::open() {
    window_->open();
}

void DbUpgradePos::close() {
    window_->wait_until_idle();
    if (sqlca_) sqlca_->disconnect();
}

}  // namespace tessary::gui
