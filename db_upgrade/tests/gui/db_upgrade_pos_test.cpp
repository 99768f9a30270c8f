// The application object: create, open, close over a real ODBC driver and real message
// boxes, and over the SQL Server double; an upgrade run through FreeTDS's driver against
// the wire-level stand-in.
#include "gui/qt/db_upgrade_pos.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "gui_fixture.h"
#include "loopback.h"
#include "odbc/odbc_transaction.h"
#include "stand_in.h"

namespace tessary::testing {
namespace {

// Answers every message box the application shows, as a user would, and keeps its title
// and text.
class BoxAnswerer {
  public:
    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown.push_back({box->windowTitle(), box->text()});
                box->accept();
            }
        });
        timer_.start(20);
    }
    std::vector<Shown> shown;

  private:
    QTimer timer_;
};

class Application : public GuiFixture {
  protected:
    static gui::WindowSetup with_real_boxes(gui::WindowSetup setup) {
        setup.present_message = gui::show_message_box;
        return setup;
    }
};

TEST_F(Application, ServerNotThereShowsBothBoxesOverOdbcAndClosingDisconnectsNothing) {
    system.registry["SERVERNAME"] = "127.0.0.1," + std::to_string(closed_loopback_port());
    unsetenv("TESSARY_ODBC_DRIVER");
    BoxAnswerer user;
    gui::DbUpgradePos pos(std::make_unique<odbc::OdbcTransaction>(), system,
                          with_real_boxes(setup(gui::BuildKind::kShipped)));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("db_upgrade_pos"));
    pos.open();
    pos.window().wait_until_idle();

    ASSERT_EQ(user.shown.size(), 2u);
    const QString app_name = QStringLiteral("凯岚商业管理软件");
    EXPECT_EQ(user.shown[0].title, app_name);
    EXPECT_TRUE(user.shown[0].text.startsWith(QStringLiteral("不能连接到数据库！(错误信息：")))
        << user.shown[0].text.toStdString();
    EXPECT_EQ(user.shown[1], (Shown{app_name, QStringLiteral("不能连接到数据库")}));
    EXPECT_FALSE(pos.window().controls().cb_1->isEnabled());

    pos.window().close();
    pos.close();
    EXPECT_FALSE(pos.sqlca().connected());
    EXPECT_EQ(pos.sqlca().sqlcode(), Transaction::kSuccess);
}

TEST_F(Application, ClosingDisconnectsTheConnectionTheWindowOpened) {
    auto store_server = std::make_unique<SqlServerDouble>(timeline);
    store_server->add_database(store_database("store", "20200117"));
    gui::DbUpgradePos pos(std::move(store_server), system, setup(gui::BuildKind::kShipped));
    pos.open();
    pos.window().wait_until_idle();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(pos.sqlca().connected());

    pos.window().close();
    pos.close();
    EXPECT_FALSE(pos.sqlca().connected());
    EXPECT_EQ(timeline.texts(Event::Kind::kDisconnect).size(), 1u);
}

TEST_F(Application, AnUpgradeRunsThroughFreeTdsEndToEnd) {
    StandIn stand_in(dir, {"--database", "store", "--upgrade-date", "20200117"});
    system.registry["SERVERNAME"] = stand_in.server_name();
    unsetenv("TESSARY_ODBC_DRIVER");
    gui::DbUpgradePos pos(std::make_unique<odbc::OdbcTransaction>(), system,
                          setup(gui::BuildKind::kShipped));
    pos.open();
    pos.window().wait_until_idle();
    const gui::Controls& controls = pos.window().controls();
    ASSERT_TRUE(controls.cb_1->isEnabled()) << ::testing::PrintToString(messages);

    QTest::mouseClick(controls.cb_1, Qt::LeftButton);
    pos.window().wait_until_idle();
    // No db.dat in the working directory: the package step says so.
    EXPECT_EQ(messages,
              (std::vector<Shown>{{QStringLiteral("凯岚商业管理软件"),
                                   QStringLiteral("数据库升级程序不全，升级操作被中断。")}}));
    ASSERT_GE(controls.lb_2->count(), 1);
    EXPECT_TRUE(controls.lb_2->item(0)->text().startsWith(
        QStringLiteral("升级结束：发送语句 152 条，成功 152 条，失败 0 条")))
        << controls.lb_2->item(0)->text().toStdString();
    EXPECT_FALSE(controls.cb_1->isEnabled());
    pos.window().close();
    pos.close();

    EXPECT_EQ(stand_in.tsql("store",
                            "select sys_var_value from t_sys_system where sys_var_id = "
                            "'DataBase_Version'\ngo\nselect menu_name from t_sys_menu where "
                            "menu_id = '6215'\ngo\n"),
              u8"V8 20191014\n微商店管理\n");
}

}  // namespace
}  // namespace tessary::testing
