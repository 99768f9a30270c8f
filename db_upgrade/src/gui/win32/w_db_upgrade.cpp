#include "w_db_upgrade.h"

#include <process.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "fonts.h"
#include "gui/layout_units.h"
#include "host/host.h"

namespace tessary::gui::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"tessary_w_db_upgrade";
// The .rc's icon.
constexpr WORD kIconResource = 1;
// Posted when the core has queued work for the GUI thread, and once to run ue_postopen.
constexpr UINT kRunQueued = WM_APP + 1;
constexpr UINT kPostOpen = WM_APP + 2;
// The controls' identifiers are their places in the table from here on.
constexpr int kFirstControlId = 100;

COLORREF colour(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD extended_style;
};

ControlClass class_of(const ControlSpec& spec) {
    switch (spec.kind) {
        case ControlKind::kListBox:
            return {L"LISTBOX", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE};
        case ControlKind::kText:
            return {L"STATIC",
                    static_cast<DWORD>(SS_NOPREFIX |
                                       (spec.centred ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT)),
                    0};
        case ControlKind::kPanel:
            return {L"STATIC", SS_SUNKEN, 0};
        case ControlKind::kCheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX, 0};
        case ControlKind::kButton:
            return {L"BUTTON", BS_PUSHBUTTON, 0};
        case ControlKind::kGroupBox:
            return {L"BUTTON", BS_GROUPBOX, 0};
    }
    return {L"STATIC", 0, 0};
}

bool is_user_input(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

bool in_tab_order(std::string_view name) {
    const auto& chain = tab_order();
    return std::find(chain.begin(), chain.end(), name) != chain.end();
}

int screen_dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kLayoutDpi;
}

// The height of a line of `font`, and the width of `text` written in it.
struct TextSize {
    int line_height;
    int width;
};

TextSize text_size(HFONT font, const std::wstring& text) {
    HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SIZE extent{};
    GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return {static_cast<int>(metrics.tmHeight), static_cast<int>(extent.cx)};
}

void register_window_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kWindowClass;
    RegisterClassExW(&window_class);  // fails harmlessly when already registered
}

}  // namespace

WDbUpgrade::WDbUpgrade(Transaction& sqlca, System& system, WindowSetup setup)
    : build_(setup.build), dpi_(screen_dpi()) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    register_window_class(instance);

    const WindowSpec& spec = window_spec();
    RECT frame{0, 0, horizontal_pixels(spec.size.width, dpi_),
               vertical_pixels(spec.size.height, dpi_)};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    hwnd_ =
        CreateWindowExW(0, kWindowClass, host::gbk_to_utf16(spec.title).c_str(),
                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WDbUpgrade::procedure));
    light_blue_ = CreateSolidBrush(colour(kLightBlue));
    create_controls();

    ui_ = std::make_unique<Win32Ui>(
        hwnd_, kRunQueued,
        CoreControls{control("lb_1"), control("lb_2"), control("cbx_proc"), control("cb_1")},
        std::move(setup.present_message));
    core_ = std::make_unique<UpgradeWindow>(*ui_, system, sqlca);
}

WDbUpgrade::~WDbUpgrade() {
    if (worker_ != nullptr) {
        WaitForSingleObject(worker_, INFINITE);
        CloseHandle(worker_);
    }
    if (hwnd_ != nullptr) {
        // Going with the program, not closed by the user: no quit message.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : fonts_) DeleteObject(font);
    DeleteObject(light_blue_);
}

void WDbUpgrade::create_controls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    int id = kFirstControlId;
    // Each new child window goes below its older siblings: the creation order of the table
    // is its stacking order.
    for (const ControlSpec& spec : window_controls()) {
        const ControlClass kind = class_of(spec);
        HFONT font = create_font(spec.font, dpi_);
        fonts_.push_back(font);
        const std::wstring text = host::gbk_to_utf16(spec.text);
        PixelRect box = layout_pixels(spec.place, dpi_);
        if (spec.kind == ControlKind::kText) {
            const TextSize size = text_size(font, text);
            box = fitted_to_text_width(fitted_to_line_height(box, size.line_height), size.width,
                                       spec.centred);
        }
        const DWORD tab_stop = in_tab_order(spec.name) ? WS_TABSTOP : 0;
        HWND control =
            CreateWindowExW(kind.extended_style, kind.name, text.c_str(),
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | tab_stop | kind.style, box.x,
                            box.y, box.width, box.height, hwnd_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (spec.checked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        controls_.push_back(control);
    }
}

int control_id(std::string_view name) {
    const auto& table = window_controls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (name == table[i].name) return kFirstControlId + static_cast<int>(i);
    }
    return 0;
}

HWND WDbUpgrade::control(std::string_view name) const {
    return GetDlgItem(hwnd_, control_id(name));
}

void WDbUpgrade::open() {
    const int show = build_ == BuildKind::kDevelopment ? SW_SHOW : SW_HIDE;
    const auto& table = window_controls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].for_maintainers) ShowWindow(controls_[i], show);
    }
    tessary::open(*core_);

    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    focus_ = control("cb_1");
    SetFocus(focus_);
    // ue_postopen runs once open has returned and the window is on screen; until it has
    // connected, the window takes no input.
    busy_ = true;
    show_cursor();
    PostMessageW(hwnd_, kPostOpen, 0, 0);
}

void WDbUpgrade::run_in_background(void (*event)(UpgradeWindow&)) {
    if (busy_) return;
    busy_ = true;
    show_cursor();
    event_ = event;
    start_worker();
}

void WDbUpgrade::start_worker() {
    worker_ =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WDbUpgrade::worker, this, 0, nullptr));
    if (worker_ == nullptr) {
        ui_->message_box(gs_appname, "cannot start the worker thread");
        background_finished();
    }
}

unsigned __stdcall WDbUpgrade::worker(void* window) {
    auto& self = *static_cast<WDbUpgrade*>(window);
    // Nothing may escape the worker thread; the user learns what stopped the work.
    try {
        self.event_(*self.core_);
    } catch (const std::exception& failure) {
        self.ui_->message_box(gs_appname, failure.what());
    } catch (...) {
        self.ui_->message_box(gs_appname, "unexpected failure");
    }
    // After everything the event asked of the window.
    self.ui_->post([&self] { self.background_finished(); });
    return 0;
}

void WDbUpgrade::background_finished() {
    if (worker_ != nullptr) {
        WaitForSingleObject(worker_, INFINITE);
        CloseHandle(worker_);
        worker_ = nullptr;
    }
    ui_->end_of_event();
    busy_ = false;
    show_cursor();
}

void WDbUpgrade::show_cursor() {
    POINT at{};
    GetCursorPos(&at);
    const HWND under = WindowFromPoint(at);
    if (under == hwnd_ || IsChild(hwnd_, under)) {
        SetCursor(LoadCursorW(nullptr, busy_ || ui_->wait_cursor() ? IDC_WAIT : IDC_ARROW));
    }
}

bool WDbUpgrade::pre_translate(MSG& message) {
    if (hwnd_ == nullptr || (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) return false;
    if (busy_ && is_user_input(message.message)) return true;
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB) {
        move_focus(GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    return IsDialogMessageW(hwnd_, &message) != FALSE;
}

// Tab follows the table's tab order, not the stacking order that the dialog manager would
// take, passing over what is hidden or disabled.
void WDbUpgrade::move_focus(bool backwards) {
    std::vector<HWND> chain;
    for (std::string_view name : tab_order()) {
        HWND candidate = control(name);
        if (IsWindowVisible(candidate) && IsWindowEnabled(candidate)) chain.push_back(candidate);
    }
    if (chain.empty()) return;
    const auto at = std::find(chain.begin(), chain.end(), GetFocus());
    std::size_t next = 0;
    if (at != chain.end()) {
        const std::size_t current = static_cast<std::size_t>(at - chain.begin());
        next =
            backwards ? (current + chain.size() - 1) % chain.size() : (current + 1) % chain.size();
    }
    SetFocus(chain[next]);
}

void WDbUpgrade::command(HWND control) {
    if (busy_ || !IsWindowEnabled(control)) return;
    if (control == this->control("cb_1")) {
        run_in_background(cb_1_clicked);
    } else if (control == this->control("cb_2")) {
        SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    } else if (control == this->control("cb_put")) {
        run_in_background(cb_put_clicked);
    } else if (control == this->control("cb_get")) {
        run_in_background(cb_get_clicked);
    }
}

LRESULT WDbUpgrade::static_colours(HDC dc, HWND control) {
    const auto& table = window_controls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (controls_[i] != control) continue;
        if (table[i].text_colour) SetTextColor(dc, colour(*table[i].text_colour));
        if (table[i].background) {
            SetBkColor(dc, colour(*table[i].background));
            return reinterpret_cast<LRESULT>(light_blue_);
        }
    }
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK WDbUpgrade::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<WDbUpgrade*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    return self->handle(message, wparam, lparam);
}

LRESULT WDbUpgrade::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case kRunQueued:
            ui_->run_queued();
            return 0;
        case kPostOpen:
            event_ = ue_postopen;
            start_worker();
            return 0;
        case WM_COMMAND:
            if (lparam != 0 && HIWORD(wparam) == BN_CLICKED)
                command(reinterpret_cast<HWND>(lparam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return static_colours(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        case WM_SETCURSOR:
            if (busy_ || ui_->wait_cursor()) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                focus_ = GetFocus();
            } else if (focus_ != nullptr) {
                SetFocus(focus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (!busy_) DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

int run_message_loop(WDbUpgrade& window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.pre_translate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace tessary::gui::win32
