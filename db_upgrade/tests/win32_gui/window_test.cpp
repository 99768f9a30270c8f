// The Win32 window in this process, over the SQL Server double: its controls as the table
// says in both builds, and a refused connection.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/layout_units.h"
#include "gui/win32/w_db_upgrade.h"
#include "host/host.h"
#include "sql_server_double.h"
#include "store_fixture.h"
#include "temp_dir.h"
#include "test_system.h"

namespace tessary::testing {
namespace {

using gui::BuildKind;
using Shown = std::pair<std::wstring, std::wstring>;

std::wstring text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The screen's density, which windows_window_test.sh sets (LogPixels) and names in
// TESSARY_WINDOW_DPI for the runs at another density than 96.
int screen_dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The width of a control's text as it draws it, in its own font: one line, "&" taken as
// the mark of the access key where the control takes it so.
int drawn_text_width(HWND control, const std::wstring& text, bool access_keys) {
    HDC dc = GetDC(control);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT box{};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CALCRECT | DT_SINGLELINE | (access_keys ? 0 : DT_NOPREFIX));
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return static_cast<int>(box.right - box.left);
}

class Win32Window : public ::testing::Test {
  protected:
    Win32Window() {
        system.registry = {{"DATABASE", "store"}, {"SERVERNAME", "storesrv"}};
        system.current_dir = dir.path().string();
        server.add_database(store_database("store", "20200117"));
    }

    // Opens a new window, message boxes answered at once and recorded, and handles the
    // thread's messages until ue_postopen has returned; true when cb_1 stays enabled.
    bool open_window(BuildKind build) {
        window.reset();
        server.disconnect();
        gui::win32::WindowSetup setup;
        setup.build = build;
        setup.present_message = [this](HWND, const std::wstring& title, const std::wstring& text) {
            messages.emplace_back(title, text);
        };
        window = std::make_unique<gui::win32::WDbUpgrade>(server, system, std::move(setup));
        window->open();
        const DWORD deadline = GetTickCount() + 30000;
        while (window->busy() && GetTickCount() < deadline) pump(50);
        EXPECT_FALSE(window->busy());
        return IsWindowEnabled(control("cb_1")) != FALSE;
    }

    // Handles what arrives within `milliseconds`; false once the quit message came.
    bool pump(DWORD milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return false;
            if (window->pre_translate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return true;
    }

    HWND control(const char* name) const { return window->control(name); }

    TempDir dir;
    TestSystem system;
    Timeline timeline;
    SqlServerDouble server{timeline};
    std::vector<Shown> messages;
    std::unique_ptr<gui::win32::WDbUpgrade> window;
};

TEST_F(Win32Window, EveryControlAsTheTableSaysInTheShippedAndTheDevelopmentBuild) {
    for (BuildKind build : {BuildKind::kShipped, BuildKind::kDevelopment}) {
        const bool development = build == BuildKind::kDevelopment;
        SCOPED_TRACE(development ? "development" : "shipped");
        ASSERT_TRUE(open_window(build));
        HWND main = window->hwnd();
        EXPECT_EQ(text_of(main), L"烘焙连锁软件数据库升级");
        const int dpi = screen_dpi();
        if (const char* asked = std::getenv("TESSARY_WINDOW_DPI")) {
            EXPECT_EQ(dpi, std::atoi(asked));
        }
        RECT client{};
        GetClientRect(main, &client);
        // 2277 × 1888 units: 498 × 472 pixels at 96 dpi.
        EXPECT_EQ(client.right, gui::horizontal_pixels(gui::window_spec().size.width, dpi));
        EXPECT_EQ(client.bottom, gui::vertical_pixels(gui::window_spec().size.height, dpi));
        EXPECT_EQ(text_of(control("cb_1")), L"数据库升级(&U)");

        HWND above = nullptr;
        HDC screen = GetDC(nullptr);
        for (const gui::ControlSpec& spec : gui::window_controls()) {
            SCOPED_TRACE(spec.name);
            HWND c = control(spec.name);
            ASSERT_NE(c, nullptr);
            // Stacked in the order of the table, the first on top.
            EXPECT_EQ(above == nullptr ? GetWindow(main, GW_CHILD) : GetWindow(above, GW_HWNDNEXT),
                      c);
            above = c;
            EXPECT_EQ(text_of(c), host::gbk_to_utf16(spec.text));
            EXPECT_EQ(IsWindowVisible(c) != FALSE, development || !spec.for_maintainers);

            RECT box{};
            GetWindowRect(c, &box);
            MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&box), 2);
            RECT inside{};
            GetClientRect(c, &inside);
            const gui::PixelRect expected = gui::layout_pixels(spec.place, dpi);
            const std::wstring text = text_of(c);
            if (spec.kind == gui::ControlKind::kText) {
                // Grown to a whole line of its font, about the same middle, and to the width of
                // its text (whole at every density).
                const int text_width = drawn_text_width(c, text, false);
                EXPECT_LE(text_width, inside.right);
                EXPECT_EQ(box.right - box.left, std::max(expected.width, text_width));
                if (spec.centred) {
                    EXPECT_LE(std::abs((box.left + box.right) - (2 * expected.x + expected.width)),
                              1);
                } else {
                    EXPECT_EQ(box.left, expected.x);
                }
                EXPECT_LE(box.top, expected.y);
                EXPECT_GE(box.bottom, expected.y + expected.height);
                EXPECT_LE(std::abs((box.top + box.bottom) - (2 * expected.y + expected.height)), 2);
            } else {
                EXPECT_EQ(box.left, expected.x);
                EXPECT_EQ(box.right - box.left, expected.width);
                EXPECT_EQ(box.top, expected.y);
                EXPECT_EQ(box.bottom - box.top, expected.height);
                // A button's or check box's label fits beside its frame or box.
                const int room = spec.kind == gui::ControlKind::kCheckBox
                                     ? inside.right - GetSystemMetrics(SM_CXMENUCHECK)
                                     : inside.right - 2 * GetSystemMetrics(SM_CXEDGE);
                EXPECT_LE(drawn_text_width(c, text, true), room);
            }

            // The font of the table, and one that has every character of the text.
            auto* font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
            LOGFONTW look{};
            ASSERT_TRUE(GetObjectW(font, sizeof look, &look));
            EXPECT_EQ(look.lfHeight, -gui::font_pixels(spec.font.points, dpi));
            EXPECT_EQ(look.lfCharSet, GB2312_CHARSET);
            EXPECT_EQ(look.lfUnderline != 0, spec.font.underline);
            EXPECT_EQ(look.lfWeight >= FW_BOLD,
                      spec.font.bold || spec.font.face == gui::Face::kClerical);
            std::vector<WORD> glyphs(text.size());
            const HGDIOBJ previous = SelectObject(screen, font);
            GetGlyphIndicesW(screen, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS);
            SelectObject(screen, previous);
            EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), 0xFFFF), 0);

            // Red and blue texts, the light-blue banner and panel.
            SetTextColor(screen, RGB(1, 2, 3));
            SetBkColor(screen, RGB(1, 2, 3));
            SendMessageW(main, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(screen),
                         reinterpret_cast<LPARAM>(c));
            if (spec.text_colour) {
                EXPECT_EQ(GetTextColor(screen), RGB(spec.text_colour->red, spec.text_colour->green,
                                                    spec.text_colour->blue));
            }
            if (spec.background) {
                EXPECT_EQ(GetBkColor(screen), RGB(166, 202, 240));
            }
        }
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(SendMessageW(control("cbx_proc"), BM_GETCHECK, 0, 0), BST_CHECKED);

        // Tab goes through the buttons, then the lists, passing over what is hidden.
        const std::vector<std::string> expected_tabs =
            development ? std::vector<std::string>{"cb_1",   "cb_2", "lb_1", "cb_put",
                                                   "cb_get", "lb_2", "cb_1"}
                        : std::vector<std::string>{"cb_1", "cb_2", "lb_2", "cb_1"};
        std::vector<std::string> visited;
        for (std::size_t i = 0; i < expected_tabs.size(); ++i) {
            for (const gui::ControlSpec& spec : gui::window_controls()) {
                if (GetFocus() == control(spec.name)) visited.push_back(spec.name);
            }
            MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
            EXPECT_TRUE(window->pre_translate(tab));
        }
        EXPECT_EQ(visited, expected_tabs);
    }
}

TEST_F(Win32Window, ARefusedConnectionShowsBothBoxesGreysTheUpgradeAndExitEndsTheProgram) {
    system.registry["SERVERNAME"] = "otherhost";
    EXPECT_FALSE(open_window(BuildKind::kShipped));
    const std::wstring app_name = L"凯岚商业管理软件";
    EXPECT_EQ(messages, (std::vector<Shown>{
                            {app_name,
                             L"不能连接到数据库！(错误信息：Unable to connect: server "
                             L"'otherhost' is unavailable or does not exist)"},
                            {app_name, L"不能连接到数据库"},
                        }));
    EXPECT_TRUE(IsWindowEnabled(control("cb_2")));
    // Clicks on the greyed button do nothing.
    SendMessageW(control("cb_1"), BM_CLICK, 0, 0);
    EXPECT_FALSE(window->busy());

    SendMessageW(control("cb_2"), BM_CLICK, 0, 0);
    EXPECT_TRUE(window->closed());
    EXPECT_FALSE(pump(0));  // the program's message loop ends
}

}  // namespace
}  // namespace tessary::testing
