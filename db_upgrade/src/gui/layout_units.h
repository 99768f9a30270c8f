#pragma once

#include <QRect>

// The window is laid out in layout units, and its font sizes are given in points. Both
// become pixels by the rule of a 96-dpi screen, the screen the layout was made for:
//
//   x pixels = x units × 7 / 32     (a horizontal unit is 7/32 of a pixel)
//   y pixels = y units × 16 / 64    (four vertical units make one pixel)
//   font pixels = points × 96 / 72  (10 pt is 13 px)
//
// each rounded to the nearest pixel, halves up. Positions and sizes are converted one by
// one, as the layout gives them. Qt scales these logical pixels on screens of higher
// density, so texts keep their size relative to the boxes they sit in.

namespace tessary::gui {

int horizontal_pixels(int units);
int vertical_pixels(int units);
// A control's rectangle from its position and size in layout units.
QRect layout_rect(int x, int y, int width, int height);
int font_pixels(int points);

}  // namespace tessary::gui
