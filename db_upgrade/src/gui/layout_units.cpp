#include "layout_units.h"

namespace tessary::gui {
namespace {

// value × factor / denominator, rounded to the nearest integer, halves up.
int scaled(int value, int factor, int denominator) {
    return (value * factor + denominator / 2) / denominator;
}

}  // namespace

int horizontal_pixels(int units, int dpi) {
    return scaled(units, 7 * dpi, 32 * kLayoutDpi);
}

int vertical_pixels(int units, int dpi) {
    return scaled(units, 16 * dpi, 64 * kLayoutDpi);
}

int font_pixels(int points, int dpi) {
    return scaled(points, dpi, 72);
}

PixelRect layout_pixels(const LayoutRect& units, int dpi) {
    return {horizontal_pixels(units.x, dpi), vertical_pixels(units.y, dpi),
            horizontal_pixels(units.width, dpi), vertical_pixels(units.height, dpi)};
}

PixelRect fitted_to_line_height(const PixelRect& box, int line_height) {
    const int missing = line_height - box.height;
    if (missing <= 0) return box;
    return {box.x, box.y - missing / 2, box.width, line_height};
}

PixelRect fitted_to_text_width(const PixelRect& box, int text_width, bool centred) {
    const int missing = text_width - box.width;
    if (missing <= 0) return box;
    return {centred ? box.x - missing / 2 : box.x, box.y, text_width, box.height};
}

}  // namespace tessary::gui
