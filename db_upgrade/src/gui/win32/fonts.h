#pragma once

#include <windows.h>

#include "gui/window_table.h"

// The window's fonts by name, 宋体 and 隶书, in the GB2312 character set, sized by the layout
// rule at the screen's density. Chinese Windows has 宋体; 隶书 comes with some Office
// installations only, and where it is missing the banner takes 宋体 in bold, the nearest to
// its heavy strokes (as the Qt window does).

namespace tessary::gui::win32 {

// The face name a font of `face` is created with on this machine, and whether it is bold
// for want of 隶书.
struct FaceChoice {
    const wchar_t* name;
    bool bold;
};
FaceChoice face_for(Face face);

// A new font; the caller deletes it.
HFONT create_font(const FontLook& look, int dpi);

}  // namespace tessary::gui::win32
