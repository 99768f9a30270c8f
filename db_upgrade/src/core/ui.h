#pragma once

#include <string>
#include <vector>

// What the upgrade window shows and what its controls hold, as the upgrade core uses them.
// The Qt window, the command-line twin and the tests each provide a Ui.
//
// Texts are GBK byte strings; a Ui that shows text to a person converts it at its own
// boundary. The core may run on a worker thread (the Qt window keeps painting during a
// run), so a Ui must accept every call from the thread that runs the core, and
// message_box returns only once the user has dismissed the box.

namespace tessary {

class Ui {
  public:
    virtual ~Ui() = default;

    // Modal message box; returns when dismissed.
    virtual void message_box(const std::string& title, const std::string& text) = 0;
    virtual void beep(int times) = 0;
    // Shows or hides the wait cursor; returns the previous state so a caller can restore it.
    virtual bool set_wait_cursor(bool on) = 0;

    // lb_1, the maintainers' file list: replaced by `names` (already sorted).
    virtual void show_file_list(const std::vector<std::string>& names) = 0;
    // lb_2, the progress list: `line` becomes its first line.
    virtual void insert_progress_line(const std::string& line) = 0;

    // cbx_proc: whether the upgrade run ends by applying the script package.
    virtual bool apply_package_checked() = 0;
    // cb_1: the upgrade button.
    virtual void set_upgrade_enabled(bool enabled) = 0;
};

// Shows the wait cursor while a step runs and puts back what was there before.
class WaitCursor {
  public:
    explicit WaitCursor(Ui& ui) : ui_(ui), was_on_(ui.set_wait_cursor(true)) {}
    ~WaitCursor() {
        if (!was_on_) ui_.set_wait_cursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    Ui& ui_;
    bool was_on_;
};

}  // namespace tessary
