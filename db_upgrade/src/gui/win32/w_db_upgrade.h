#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "core/window.h"
#include "gui/window_table.h"
#include "win32_ui.h"

namespace tessary::gui::win32 {

struct WindowSetup {
    BuildKind build = BuildKind::kShipped;
    MessagePresenter present_message = show_message_box;
};

// The window w_db_upgrade as a plain Win32 window, its controls made from the window's
// table at the system's density. Its events run the core's: window open, ue_postopen (the
// connection), cb_1 (the upgrade run), cb_put and cb_get (the script package), cb_2 (exit).
//
// The database work of an event runs on a worker thread, so that the window keeps painting
// and shows the progress lines as they come; meanwhile the window takes no clicks, keys or
// closing and shows the wait cursor. One event of the core runs at a time. The worker keeps
// no state of its own per thread: a thread_local object with a destructor, created on a
// worker, has kept MinGW programs from ending.
class WDbUpgrade {
  public:
    WDbUpgrade(Transaction& sqlca, System& system, WindowSetup setup);
    ~WDbUpgrade();
    WDbUpgrade(const WDbUpgrade&) = delete;
    WDbUpgrade& operator=(const WDbUpgrade&) = delete;

    // Window open: shows or hides the maintenance controls, sets is_runpath, shows the
    // window centred on the screen, and then posts ue_postopen, which connects.
    void open();

    // Every message of the GUI thread passes here before it is dispatched; true when the
    // window has taken it: user input while the core runs, Tab, and the dialog keys
    // (Enter, access keys).
    bool pre_translate(MSG& message);

    // Whether an event of the core runs or is about to.
    bool busy() const { return busy_; }
    // Whether the window has been closed (cb_2 or the close box).
    bool closed() const { return hwnd_ == nullptr; }

    HWND hwnd() const { return hwnd_; }
    // A control by its name in the window's table.
    HWND control(std::string_view name) const;
    // The core's side of the window: is_runpath, ib_sorvanth, is_sorvanth.
    const UpgradeWindow& core() const { return *core_; }

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void command(HWND control);
    void run_in_background(void (*event)(UpgradeWindow&));
    void start_worker();
    static unsigned __stdcall worker(void* window);
    void background_finished();
    void show_cursor();
    void move_focus(bool backwards);
    LRESULT static_colours(HDC dc, HWND control);

    BuildKind build_;
    HWND hwnd_ = nullptr;
    int dpi_;
    std::vector<HWND> controls_;  // in the order of the table
    std::vector<HFONT> fonts_;
    HBRUSH light_blue_ = nullptr;
    std::unique_ptr<Win32Ui> ui_;
    std::unique_ptr<UpgradeWindow> core_;
    void (*event_)(UpgradeWindow&) = nullptr;
    HANDLE worker_ = nullptr;
    bool busy_ = false;
    HWND focus_ = nullptr;  // where the focus goes back to when the window is activated
};

// Runs the GUI thread's messages through `window` until the window has closed; returns
// the exit code of the quit message.
int run_message_loop(WDbUpgrade& window);

// The identifier of a control of the table (GetDlgItem, WM_COMMAND), 0 for another name.
int control_id(std::string_view name);

}  // namespace tessary::gui::win32
