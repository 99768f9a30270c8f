#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/ui.h"

namespace tessary::gui::win32 {

// Shows a message box over `owner` and returns once the user has dismissed it. Runs on the
// GUI thread.
using MessagePresenter =
    std::function<void(HWND owner, const std::wstring& title, const std::wstring& text)>;

// A modal information box with an OK button.
void show_message_box(HWND owner, const std::wstring& title, const std::wstring& text);

// The controls the core drives.
struct CoreControls {
    HWND lb_1;      // the maintainers' file list
    HWND lb_2;      // progress list, newest line on top
    HWND cbx_proc;  // whether a run ends by applying db.dat
    HWND cb_1;      // upgrade
};

// The window's controls as the core sees them. The core runs on a worker thread and calls
// in here; whatever touches a window is queued and done on the GUI thread, in the order the
// core asks for it (a window message would not keep that order: Windows delivers sent
// messages before posted ones). The message box and the check box answer the core, so the
// core waits for them; the other calls are queued and the core goes on. Called on the GUI
// thread itself, everything runs at once.
class Win32Ui final : public Ui {
  public:
    // `wake` is posted to `window` whenever work is queued; the window then calls run_queued.
    Win32Ui(HWND window, UINT wake, const CoreControls& controls, MessagePresenter present);

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    bool set_wait_cursor(bool on) override;
    void show_file_list(const std::vector<std::string>& names) override;
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override;
    void set_upgrade_enabled(bool enabled) override;

    // Queues `call` for the GUI thread (from any thread).
    void post(std::function<void()> call);
    // GUI thread: runs what is queued, oldest first.
    void run_queued();

    // Whether the core asked for the wait cursor.
    bool wait_cursor() const { return wait_cursor_; }
    // GUI thread, once an event of the core has returned: a wait cursor it left on goes, as
    // the pointer returns to normal when an event ends.
    void end_of_event() { wait_cursor_ = false; }

  private:
    void wait_for(const std::function<void()>& call);
    bool on_gui_thread() const;

    HWND window_;
    UINT wake_;
    CoreControls controls_;
    MessagePresenter present_;
    DWORD gui_thread_;
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    std::atomic<bool> wait_cursor_{false};
    int widest_progress_line_ = 0;
};

}  // namespace tessary::gui::win32
