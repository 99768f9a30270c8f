#include "win32_ui.h"

#include <algorithm>
#include <utility>

#include "host/host.h"

namespace tessary::gui::win32 {
namespace {

// Lets the list box scroll sideways as far as `text` reaches; returns the new width.
int widen_for(HWND list, const std::wstring& text, int widest) {
    HDC dc = GetDC(list);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    // The list box's own margin beside the text.
    const int width = static_cast<int>(size.cx) + 8;
    if (width > widest) SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    return std::max(width, widest);
}

}  // namespace

void show_message_box(HWND owner, const std::wstring& title, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

Win32Ui::Win32Ui(HWND window, UINT wake, const CoreControls& controls, MessagePresenter present)
    : window_(window),
      wake_(wake),
      controls_(controls),
      present_(std::move(present)),
      gui_thread_(GetCurrentThreadId()) {}

bool Win32Ui::on_gui_thread() const {
    return GetCurrentThreadId() == gui_thread_;
}

void Win32Ui::post(std::function<void()> call) {
    if (on_gui_thread()) {
        call();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(call));
    }
    PostMessageW(window_, wake_, 0, 0);
}

void Win32Ui::run_queued() {
    // One at a time and without the lock: a message box runs a message loop of its own,
    // which may come back here while its call is still running.
    for (;;) {
        std::function<void()> call;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return;
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }
}

void Win32Ui::wait_for(const std::function<void()>& call) {
    if (on_gui_thread()) {
        call();
        return;
    }
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    post([&call, done] {
        call();
        SetEvent(done);
    });
    WaitForSingleObject(done, INFINITE);
    CloseHandle(done);
}

void Win32Ui::message_box(const std::string& title, const std::string& text) {
    wait_for([this, title = host::gbk_to_utf16(title), text = host::gbk_to_utf16(text)] {
        present_(window_, title, text);
    });
}

void Win32Ui::beep(int times) {
    post([times] {
        for (int i = 0; i < times; ++i) MessageBeep(MB_OK);
    });
}

bool Win32Ui::set_wait_cursor(bool on) {
    return wait_cursor_.exchange(on);
}

void Win32Ui::show_file_list(const std::vector<std::string>& names) {
    std::vector<std::wstring> items;
    items.reserve(names.size());
    for (const auto& name : names) items.push_back(host::gbk_to_utf16(name));
    post([list = controls_.lb_1, items = std::move(items)] {
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        int widest = 0;
        for (const auto& item : items) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            widest = widen_for(list, item, widest);
        }
    });
}

void Win32Ui::insert_progress_line(const std::string& line) {
    post([this, text = host::gbk_to_utf16(line)] {
        SendMessageW(controls_.lb_2, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        widest_progress_line_ = widen_for(controls_.lb_2, text, widest_progress_line_);
    });
}

bool Win32Ui::apply_package_checked() {
    bool checked = false;
    wait_for([&checked, box = controls_.cbx_proc] {
        checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    });
    return checked;
}

void Win32Ui::set_upgrade_enabled(bool enabled) {
    post([button = controls_.cb_1, enabled] { EnableWindow(button, enabled ? TRUE : FALSE); });
}

}  // namespace tessary::gui::win32
