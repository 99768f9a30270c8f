// Shows the shipped Win32 window, connected to a store database of the SQL Server double,
// and saves what the screen shows of it, frame included, as a PNG (GDI+ encodes it).
// db_upgrade/tools/screenshot-windows runs it under wine and Xvfb for the README.
//   tessary_window_screenshot.exe OUTPUT.png
// gdiplus.h needs what windows.h and objidl.h declare.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "gui/win32/w_db_upgrade.h"
#include "sql_server_double.h"
#include "store_fixture.h"
#include "test_system.h"

namespace {

// Handles the thread's messages for `milliseconds`.
void settle(tessary::gui::win32::WDbUpgrade& window, DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (GetTickCount() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (window.pre_translate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool save_png(HBITMAP bitmap, const wchar_t* path) {
    using namespace Gdiplus::DllExports;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    UINT count = 0;
    UINT size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<unsigned char> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, encoders);
    bool saved = false;
    Gdiplus::GpBitmap* image = nullptr;
    if (GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
        for (UINT i = 0; i < count; ++i) {
            if (std::wcscmp(encoders[i].MimeType, L"image/png") == 0) {
                saved =
                    GdipSaveImageToFile(image, path, &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
            }
        }
        GdipDisposeImage(image);
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary_window_screenshot OUTPUT.png\n");
        return 2;
    }
    // In the look of tessary.exe, whose manifest it has.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    tessary::testing::TestSystem system;
    system.registry = {{"DATABASE", "store"}, {"SERVERNAME", "storesrv"}};
    tessary::testing::Timeline timeline;
    tessary::testing::SqlServerDouble server(timeline);
    server.add_database(tessary::testing::store_database("store", "20200117"));

    bool message_shown = false;
    tessary::gui::win32::WindowSetup setup;
    setup.present_message = [&message_shown](HWND, const std::wstring&, const std::wstring& text) {
        std::fwprintf(stderr, L"%ls\n", text.c_str());
        message_shown = true;
    };
    tessary::gui::win32::WDbUpgrade window(server, system, std::move(setup));
    window.open();
    for (int i = 0; i < 300 && window.busy(); ++i) settle(window, 100);
    if (message_shown || window.busy()) {
        std::fprintf(stderr, "the window did not connect\n");
        return 1;
    }
    // Time for the display to map and paint the window.
    settle(window, 1000);

    RECT frame{};
    GetWindowRect(window.hwnd(), &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, previous);
    const bool saved = save_png(picture, argv[1]);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!saved) {
        std::fprintf(stderr, "cannot save the picture\n");
        return 1;
    }
    return 0;
}
