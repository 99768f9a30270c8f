#include "fonts.h"

#include "gui/layout_units.h"

namespace tessary::gui::win32 {
namespace {

constexpr const wchar_t* kSong = L"宋体";
constexpr const wchar_t* kClerical = L"隶书";

int CALLBACK found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found_any) {
    *reinterpret_cast<bool*>(found_any) = true;
    return 0;
}

bool installed(const wchar_t* name) {
    LOGFONTW wanted{};
    wanted.lfCharSet = GB2312_CHARSET;
    lstrcpynW(wanted.lfFaceName, name, LF_FACESIZE);
    bool any = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, found, reinterpret_cast<LPARAM>(&any), 0);
    ReleaseDC(nullptr, screen);
    return any;
}

}  // namespace

FaceChoice face_for(Face face) {
    if (face == Face::kClerical && installed(kClerical)) return {kClerical, false};
    return {kSong, face == Face::kClerical};
}

HFONT create_font(const FontLook& look, int dpi) {
    const FaceChoice face = face_for(look.face);
    return CreateFontW(
        -font_pixels(look.points, dpi), 0, 0, 0, look.bold || face.bold ? FW_BOLD : FW_NORMAL,
        FALSE, look.underline ? TRUE : FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.name);
}

}  // namespace tessary::gui::win32
