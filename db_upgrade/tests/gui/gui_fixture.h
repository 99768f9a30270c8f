#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/qt/w_db_upgrade.h"
#include "sql_server_double.h"
#include "store_fixture.h"
#include "temp_dir.h"
#include "test_system.h"

// Readable QStrings in the messages of failed expectations.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tessary::testing {

// A message box as the window showed it.
struct Shown {
    QString title;
    QString text;
    bool operator==(const Shown& other) const { return title == other.title && text == other.text; }
};

inline void PrintTo(const Shown& shown, std::ostream* out) {
    *out << shown.title.toStdString() << ": " << shown.text.toStdString();
}

// The window over the SQL Server double, with a registry naming the server "storesrv" and
// the store database "store", and the test's folder as its working and program directory.
// Message boxes are answered at once and recorded; on_message runs first while the core
// waits for the box.
class GuiFixture : public ::testing::Test {
  protected:
    GuiFixture() {
        system.registry = {{"DATABASE", "store"}, {"SERVERNAME", "storesrv"}};
        system.current_dir = dir.path().string();
    }
    ~GuiFixture() override { window.reset(); }

    gui::WindowSetup setup(gui::BuildKind build) {
        gui::WindowSetup setup;
        setup.build = build;
        setup.present_message = [this](QWidget*, const QString& title, const QString& text) {
            if (on_message) on_message(title, text);
            messages.push_back({title, text});
        };
        return setup;
    }

    // A new window starts as the program does, without a connection.
    gui::WDbUpgrade& make_window(gui::BuildKind build = gui::BuildKind::kShipped) {
        window.reset();
        server.disconnect();
        window = std::make_unique<gui::WDbUpgrade>(server, system, setup(build));
        return *window;
    }

    // Opens the window and waits for ue_postopen; true when the upgrade button stays enabled.
    bool open_window(gui::BuildKind build = gui::BuildKind::kShipped) {
        make_window(build).open();
        EXPECT_TRUE(idle());
        return controls().cb_1->isEnabled();
    }

    // Handles the GUI's events until the window's worker has finished (false after 30 s).
    bool idle() {
        const QDeadlineTimer deadline(30000);
        while (window->busy() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return !window->busy();
    }

    const gui::Controls& controls() const { return window->controls(); }

    static QStringList items(const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts.append(list->item(i)->text());
        return texts;
    }

    TempDir dir;
    TestSystem system;
    Timeline timeline;
    SqlServerDouble server{timeline};
    std::vector<Shown> messages;
    std::function<void(const QString& title, const QString& text)> on_message;
    std::unique_ptr<gui::WDbUpgrade> window;
};

}  // namespace tessary::testing
