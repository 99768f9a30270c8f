#pragma once

#include <QFont>
#include <QString>

#include "gui/window_table.h"

// The two faces of the window, 宋体 (Song) and 隶书 (clerical script). Where the machine
// lacks them (fonts of Chinese Windows are rarely on Linux), the window uses the serif
// face of the Noto CJK fonts, which has the same Song shapes; the clerical banner takes it
// in bold, the nearest to the heavy strokes of 隶书 that the machine has.

namespace tessary::gui {

// The installed family that stands for `face`.
QString family_for(Face face);

// A font of the window; its size is in pixels (see gui/layout_units.h).
QFont window_font(const FontLook& look);

}  // namespace tessary::gui
