#include "layout_units.h"

namespace tessary::gui {
namespace {

// value × factor / denominator, rounded to the nearest integer, halves up.
int scaled(int value, int factor, int denominator) {
    return (value * factor + denominator / 2) / denominator;
}

}  // namespace

int horizontal_pixels(int units) {
    return scaled(units, 7, 32);
}

int vertical_pixels(int units) {
    return scaled(units, 16, 64);
}

QRect layout_rect(int x, int y, int width, int height) {
    return QRect(horizontal_pixels(x), vertical_pixels(y), horizontal_pixels(width),
                 vertical_pixels(height));
}

int font_pixels(int points) {
    return scaled(points, 96, 72);
}

}  // namespace tessary::gui
