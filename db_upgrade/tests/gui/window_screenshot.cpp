// Shows the shipped window, connected to a store database of the SQL Server double, and
// saves what the display shows of it as a PNG. db_upgrade/tools/screenshot runs it under
// Xvfb for the picture in the README.
#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "gui/w_db_upgrade.h"
#include "sql_server_double.h"
#include "store_fixture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: %s OUTPUT.png (with KORVANE_REGISTRY_FILE naming the "
                     "server storesrv and the database store)\n",
                     argv[0]);
        return 2;
    }
    QApplication application(argc, argv);

    tessary::testing::Timeline timeline;
    tessary::testing::SqlServerDouble server(timeline);
    server.add_database(tessary::testing::store_database("store", "20200117"));

    bool message_shown = false;
    tessary::gui::WindowSetup setup;
    setup.build = tessary::gui::BuildKind::kShipped;
    setup.present_message = [&message_shown](QWidget*, const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        message_shown = true;
    };
    tessary::gui::WDbUpgrade window(server, std::move(setup));
    window.open();
    window.wait_until_idle();
    if (message_shown) return 1;

    // Time for the display to map and paint the window.
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    const QPixmap picture = window.screen()->grabWindow(window.winId());
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot save the picture to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
