// The window's events with the core on its worker thread: connection, upgrade run, message
// boxes, progress lines, wait cursor, blocked input, exit.
#include <QGuiApplication>
#include <QTest>
#include <algorithm>
#include <stdexcept>

#include "core/window.h"
#include "gui/qt/gbk_text.h"
#include "gui_fixture.h"
#include "recording_ui.h"

namespace tessary::testing {
namespace {

const QString kAppName = QStringLiteral("凯岚商业管理软件");

class WindowFlow : public GuiFixture {
  protected:
    // Opens the window and then runs `event` of the core on the window's worker.
    void run(std::function<void(UpgradeWindow&)> event,
             gui::BuildKind build = gui::BuildKind::kShipped) {
        ASSERT_TRUE(open_window(build));
        window->run_in_background(std::move(event));
        EXPECT_TRUE(window->busy());
        ASSERT_TRUE(idle());
    }

    static bool wait_cursor_shown() {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    }
};

TEST_F(WindowFlow, FailedConnectionShowsBothMessagesInOrderDisablesUpgradeAndExitStillCloses) {
    server.add_database(store_database("store", "20200117"));
    system.registry["SERVERNAME"] = "otherhost";

    EXPECT_FALSE(open_window());
    EXPECT_EQ(
        messages,
        (std::vector<Shown>{
            {kAppName, QStringLiteral("不能连接到数据库！(错误信息：Unable to connect: server "
                                      "'otherhost' is unavailable or does not exist)")},
            {kAppName, QStringLiteral("不能连接到数据库")},
        }));
    EXPECT_TRUE(controls().cb_2->isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    QTest::mouseClick(controls().cb_2, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowFlow, OpenSetsTheRunPathFromTheWorkingDirectoryWithOneSeparator) {
    server.add_database(store_database("store", "20200117"));
    ASSERT_TRUE(open_window());
    EXPECT_EQ(window->core().is_runpath, dir.path().string() + "/");
}

// The window shows what the core asks for, in the same order and text, as the core run
// directly over the recording Ui on an identical server.
TEST_F(WindowFlow, UpgradeRunShowsWhatTheCoreShowsAndDisablesTheUpgradeButton) {
    const auto add_databases = [](SqlServerDouble& to) {
        to.add_database(store_database("store", "20150825"));
        // The second database records a date this program has no batch for.
        to.add_database(store_database("SorVanth", "20191014"));
    };
    add_databases(server);

    Timeline reference_timeline;
    SqlServerDouble reference_server(reference_timeline);
    add_databases(reference_server);
    RecordingUi reference(reference_timeline);
    UpgradeWindow reference_window(reference, system, reference_server);
    tessary::open(reference_window);
    ue_postopen(reference_window);
    cb_1_clicked(reference_window);

    ASSERT_TRUE(open_window());
    QTest::mouseClick(controls().cb_1, Qt::LeftButton);
    EXPECT_TRUE(window->busy());
    ASSERT_TRUE(idle());

    std::vector<Shown> expected_messages;
    QStringList expected_lines;
    for (const Event& event : reference_timeline.events()) {
        if (event.kind == Event::Kind::kMessage) {
            expected_messages.push_back({gui::from_gbk(event.detail), gui::from_gbk(event.text)});
        } else if (event.kind == Event::Kind::kProgress) {
            expected_lines.prepend(gui::from_gbk(event.text));
        }
    }
    EXPECT_EQ(messages, expected_messages);
    EXPECT_EQ(items(controls().lb_2), expected_lines);

    // The second database's date has no batch; neither pass finds a db.dat to apply.
    const QString incomplete = QStringLiteral("数据库升级程序不全，升级操作被中断。");
    EXPECT_NE(
        std::find(messages.begin(), messages.end(), Shown{QStringLiteral("提示"), incomplete}),
        messages.end());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (Shown{kAppName, incomplete}));
    ASSERT_GE(controls().lb_2->count(), 1);
    EXPECT_TRUE(controls().lb_2->item(0)->text().startsWith(QStringLiteral("升级结束：发送语句")));
    EXPECT_FALSE(controls().cb_1->isEnabled());
    EXPECT_EQ(system_value(*server.committed("store"), "UPGRADE_DATE"), "20200117");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowFlow, ProgressLinesShowAsTheyComeWhileTheCoreWaitsForEachBox) {
    server.add_database(store_database("store", "20200117"));
    std::vector<QStringList> lines_at_box;
    std::vector<Qt::CursorShape> cursor_at_box;
    on_message = [&](const QString&, const QString&) {
        // The user takes a while; the core must not go on meanwhile.
        QTest::qWait(100);
        lines_at_box.push_back(items(controls().lb_2));
        cursor_at_box.push_back(QGuiApplication::overrideCursor()->shape());
    };
    run([](UpgradeWindow& w) {
        Ui& ui = w.ui();
        ui.set_wait_cursor(true);
        ui.insert_progress_line("第一行");
        ui.message_box("提示", "请\xb5\xc8待");
        ui.insert_progress_line("第二行");
        ui.message_box("提示", "完成");
        ui.set_wait_cursor(false);
    });

    EXPECT_EQ(messages, (std::vector<Shown>{{QStringLiteral("提示"), QStringLiteral("请等待")},
                                            {QStringLiteral("提示"), QStringLiteral("完成")}}));
    EXPECT_EQ(lines_at_box, (std::vector<QStringList>{
                                {QStringLiteral("第一行")},
                                {QStringLiteral("第二行"), QStringLiteral("第一行")},
                            }));
    // A box shows the ordinary pointer over the wait cursor of the work.
    EXPECT_EQ(cursor_at_box, (std::vector<Qt::CursorShape>{Qt::ArrowCursor, Qt::ArrowCursor}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowFlow, WaitCursorShowsWhileTheCoreRunsAndGoesWhenItsEventEnds) {
    server.add_database(store_database("store", "20200117"));
    ASSERT_TRUE(open_window());
    // Like the package applier, the event leaves its wait cursor on.
    window->run_in_background([](UpgradeWindow& w) {
        w.ui().set_wait_cursor(true);
        w.ui().show_file_list({"a.sql", "B.sql"});
    });
    EXPECT_TRUE(wait_cursor_shown());
    ASSERT_TRUE(idle());
    EXPECT_EQ(items(controls().lb_1),
              (QStringList{QStringLiteral("a.sql"), QStringLiteral("B.sql")}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowFlow, TheWindowTakesNoInputWhileTheCoreRuns) {
    server.add_database(store_database("store", "20200117"));
    bool closed_while_busy = true;
    on_message = [&](const QString&, const QString&) {
        QTest::mouseClick(controls().cbx_proc, Qt::LeftButton);
        QTest::mouseClick(controls().cb_2, Qt::LeftButton);
        QTest::keyClick(controls().cb_2, Qt::Key_Space);
        closed_while_busy = window->close();
    };
    run([](UpgradeWindow& w) { w.ui().message_box("提示", "..."); }, gui::BuildKind::kDevelopment);

    EXPECT_TRUE(controls().cbx_proc->isChecked());
    EXPECT_FALSE(closed_while_busy);
    EXPECT_TRUE(window->isVisible());
    // The same key leaves once the core has returned.
    QTest::keyClick(controls().cb_2, Qt::Key_Space);
    EXPECT_FALSE(window->isVisible());
}

// The maintainers' buttons of a development build run the package builder and applier in
// the working directory the window opened in.
TEST_F(WindowFlow, MaintenanceButtonsBuildAndApplyThePackageOfTheRunPath) {
    server.add_database(store_database("store", "20200117"));
    put_file(dir.file("db.dat"), "@@@@");
    ASSERT_TRUE(open_window(gui::BuildKind::kDevelopment));

    QTest::mouseClick(controls().cb_put, Qt::LeftButton);
    ASSERT_TRUE(idle());
    EXPECT_EQ(messages, (std::vector<Shown>{{kAppName, QStringLiteral("更新成功！")}}));

    // The maintainers' script folder does not exist here: the build says so and leaves the
    // package as it was.
    messages.clear();
    QTest::mouseClick(controls().cb_get, Qt::LeftButton);
    ASSERT_TRUE(idle());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, kAppName);
    EXPECT_TRUE(
        messages[0].text.startsWith(QStringLiteral("不能读取脚本目录 /srv/korvane/sql/pr_tr/")))
        << messages[0].text.toStdString();
    EXPECT_EQ(file_bytes(dir.file("db.dat")), "@@@@");
}

TEST_F(WindowFlow, AFailureInTheCoreIsShownAndTheWindowTakesInputAgain) {
    server.add_database(store_database("store", "20200117"));
    run([](UpgradeWindow&) { throw std::runtime_error("disk full"); });
    EXPECT_EQ(messages, (std::vector<Shown>{{kAppName, QStringLiteral("disk full")}}));
    EXPECT_FALSE(window->busy());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    QTest::mouseClick(controls().cb_2, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace tessary::testing
