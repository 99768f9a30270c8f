// Shows the window, connected to a store database of the SQL Server double, and saves what
// the display shows of it as a PNG: the shipped window, or with --development the window
// of a development build. db_upgrade/tools/screenshot runs it under Xvfb for the picture
// in the README.
#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "gui/qt/w_db_upgrade.h"
#include "host/host.h"
#include "sql_server_double.h"
#include "store_fixture.h"

int main(int argc, char** argv) {
    const bool development = argc == 3 && std::strcmp(argv[1], "--development") == 0;
    if (argc != 2 && !development) {
        std::fprintf(stderr,
                     "usage: %s [--development] OUTPUT.png (with KORVANE_REGISTRY_FILE naming "
                     "the server storesrv and the database store)\n",
                     argv[0]);
        return 2;
    }
    const char* const output = argv[argc - 1];
    QApplication application(argc, argv);

    tessary::testing::Timeline timeline;
    tessary::testing::SqlServerDouble server(timeline);
    server.add_database(tessary::testing::store_database("store", "20200117"));

    bool message_shown = false;
    tessary::gui::WindowSetup setup;
    setup.build =
        development ? tessary::gui::BuildKind::kDevelopment : tessary::gui::BuildKind::kShipped;
    setup.present_message = [&message_shown](QWidget*, const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        message_shown = true;
    };
    tessary::host::HostSystem system;
    tessary::gui::WDbUpgrade window(server, system, std::move(setup));
    window.open();
    window.wait_until_idle();
    if (message_shown) return 1;

    // Time for the display to map and paint the window.
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    const QPixmap picture = window.screen()->grabWindow(window.winId());
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(output), "PNG")) {
        std::fprintf(stderr, "cannot save the picture to %s\n", output);
        return 1;
    }
    return 0;
}
