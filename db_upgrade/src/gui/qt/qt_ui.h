#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <string>

#include "core/ui.h"
#include "window_layout.h"

namespace tessary::gui {

// Shows a message box over `parent` and returns once the user has dismissed it. Runs on
// the GUI thread.
using MessagePresenter =
    std::function<void(QWidget* parent, const QString& title, const QString& text)>;

// A modal information box with an OK button.
void show_message_box(QWidget* parent, const QString& title, const QString& text);

// The window's controls as the core sees them. The core runs on a worker thread (see
// WDbUpgrade::run_in_background) and calls in here; whatever touches a widget is done on
// the GUI thread, in the order the core asks for it. The message box and the check box
// answer the core, so the core waits for them; the other calls are posted and the core
// goes on. Called on the GUI thread itself, everything runs at once.
class QtUi final : public Ui {
  public:
    QtUi(QWidget* window, const Controls& controls, MessagePresenter present_message);

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    bool set_wait_cursor(bool on) override;
    void show_file_list(const std::vector<std::string>& names) override;
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override;
    void set_upgrade_enabled(bool enabled) override;

    // An event of the core has returned: a wait cursor it left on goes, as the pointer
    // returns to normal when an event ends. GUI thread, after the worker has finished.
    void end_of_event();

  private:
    template <typename Call>
    void post(Call call);
    template <typename Call>
    void wait_for(Call call);

    QWidget* window_;
    Controls controls_;
    MessagePresenter present_message_;
    std::atomic<bool> wait_cursor_{false};
};

}  // namespace tessary::gui
