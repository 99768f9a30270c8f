#pragma once

// The window is laid out in layout units, and its font sizes are given in points. Both
// become pixels by the rule of a 96-dpi screen, the screen the layout was made for:
//
//   x pixels = x units × 7 / 32     (a horizontal unit is 7/32 of a pixel)
//   y pixels = y units × 16 / 64    (four vertical units make one pixel)
//   font pixels = points × 96 / 72  (10 pt is 13 px)
//
// each rounded to the nearest pixel, halves up. Positions and sizes are converted one by
// one, as the layout gives them. On a screen of another density the same rule is scaled by
// dpi / 96 before rounding: the Win32 window lays itself out at the system's density; Qt
// scales its logical pixels itself and always asks for 96.
//
// The boxes grow with the density, but a font's size is rounded to whole pixels: 10 pt is
// 13 px at 96 dpi (13.3 rounded down), which the layout's boxes were made to hold, and 17 px
// at 120 dpi (16.7 rounded up) and 20 px at 144, more than 13 px grown by the same factor.
// So a box of text is held against its text, measured in the font it is drawn with, and
// widened where the text would not fit.

namespace tessary::gui {

inline constexpr int kLayoutDpi = 96;

int horizontal_pixels(int units, int dpi = kLayoutDpi);
int vertical_pixels(int units, int dpi = kLayoutDpi);
int font_pixels(int points, int dpi = kLayoutDpi);

// A place on the window in layout units, and the same in pixels.
struct LayoutRect {
    int x, y, width, height;
};
struct PixelRect {
    int x, y, width, height;
    bool operator==(const PixelRect& other) const {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

PixelRect layout_pixels(const LayoutRect& units, int dpi = kLayoutDpi);

// The boxes of the texts are as high as a line of 宋体. A face with more line spacing (the
// Noto fallback) would lose its underline and the feet of its letters, so such a box
// grows evenly at top and bottom, about the same middle line.
PixelRect fitted_to_line_height(const PixelRect& box, int line_height);

// A box of text is never narrower than its text: it grows to the right, or evenly on both
// sides for a centred text; otherwise it stays as the layout has it.
PixelRect fitted_to_text_width(const PixelRect& box, int text_width, bool centred);

}  // namespace tessary::gui
