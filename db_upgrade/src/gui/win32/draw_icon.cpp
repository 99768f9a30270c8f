// Draws tessary.ico, the program's icon: a database drum (a blue cylinder of three stacked
// discs) in 16, 32 and 48 pixels, 32-bit colour with alpha. The icon in the tree was made
// with this program; the native build's test suite draws it again and compares.
//
//   tessary-draw-icon OUTPUT.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Colour {
    double red, green, blue, alpha;
};

constexpr Colour kOutline{31, 58, 95, 255};
constexpr Colour kTop{188, 220, 247, 255};
constexpr Colour kLight{127, 178, 229, 255};
constexpr Colour kDark{47, 109, 179, 255};
constexpr Colour kNone{0, 0, 0, 0};

// The drum in a unit square, y downwards.
constexpr double kCentre = 0.5;
constexpr double kRadius = 0.40;   // horizontal
constexpr double kRise = 0.12;     // vertical radius of the ellipses
constexpr double kTopY = 0.18;     // centre of the top face
constexpr double kBottomY = 0.82;  // centre of the bottom rim

Colour mix(const Colour& a, const Colour& b, double t) {
    return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t,
            a.blue + (b.blue - a.blue) * t, a.alpha + (b.alpha - a.alpha) * t};
}

// Whether (x, y) lies in the ellipse about (kCentre, centre_y) with the radii less `inset`.
bool in_ellipse(double x, double y, double centre_y, double inset) {
    const double dx = (x - kCentre) / (kRadius - inset);
    const double dy = (y - centre_y) / (kRise - inset);
    return dx * dx + dy * dy <= 1;
}

bool in_drum(double x, double y, double inset) {
    if (std::abs(x - kCentre) > kRadius - inset) return false;
    return in_ellipse(x, y, kTopY, inset) || in_ellipse(x, y, kBottomY, inset) ||
           (y >= kTopY && y <= kBottomY);
}

// The front half of a rim: the lower edge of the ellipse about centre_y.
bool on_rim(double x, double y, double centre_y, double line) {
    return y >= centre_y && in_ellipse(x, y, centre_y, 0) && !in_ellipse(x, y, centre_y, line);
}

Colour sample(double x, double y, double line) {
    if (!in_drum(x, y, 0)) return kNone;
    if (!in_drum(x, y, line)) return kOutline;
    if (in_ellipse(x, y, kTopY, line)) return kTop;
    const double band = (kBottomY - kTopY) / 3;
    if (on_rim(x, y, kTopY, line) || on_rim(x, y, kTopY + band, line) ||
        on_rim(x, y, kTopY + 2 * band, line)) {
        return kOutline;
    }
    // Lit from the left: lightest a third of the way across, darker towards both sides.
    const double across = (x - (kCentre - kRadius)) / (2 * kRadius);
    return mix(kLight, kDark, std::min(1.0, std::abs(across - 0.33) * 1.8));
}

// One image, top row first, as RGBA; each pixel averages 4 × 4 samples.
std::vector<Colour> draw(int size) {
    const double line = std::max(1.0, size / 20.0) / size;
    std::vector<Colour> pixels;
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            Colour sum{0, 0, 0, 0};
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const Colour c = sample((column + (sx + 0.5) / 4) / size,
                                            (row + (sy + 0.5) / 4) / size, line);
                    // Premultiplied, so that the edges do not darken.
                    const double a = c.alpha / 255;
                    sum = {sum.red + c.red * a, sum.green + c.green * a, sum.blue + c.blue * a,
                           sum.alpha + c.alpha};
                }
            }
            const double alpha = sum.alpha / 16;
            const double cover = alpha > 0 ? 255 / (alpha * 16) : 0;
            pixels.push_back({sum.red * cover, sum.green * cover, sum.blue * cover, alpha});
        }
    }
    return pixels;
}

void put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
char byte(double value) {
    return static_cast<char>(static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0))));
}

// A device-independent bitmap as an icon holds it: header, colour rows bottom-up (BGRA),
// then the transparency mask, one bit a pixel, rows padded to 32 bits.
std::string icon_image(int size) {
    const std::vector<Colour> pixels = draw(size);
    const int mask_row = (size + 31) / 32 * 4;
    std::string out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(size * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(size * size * 4 + mask_row * size));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (int row = size - 1; row >= 0; --row) {
        for (int column = 0; column < size; ++column) {
            const Colour& c = pixels[static_cast<std::size_t>(row * size + column)];
            out += byte(c.blue);
            out += byte(c.green);
            out += byte(c.red);
            out += byte(c.alpha);
        }
    }
    for (int row = size - 1; row >= 0; --row) {
        std::string bits(static_cast<std::size_t>(mask_row), '\0');
        for (int column = 0; column < size; ++column) {
            if (pixels[static_cast<std::size_t>(row * size + column)].alpha < 1) {
                bits[static_cast<std::size_t>(column / 8)] |=
                    static_cast<char>(0x80 >> (column % 8));
            }
        }
        out += bits;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-draw-icon OUTPUT.ico\n");
        return 2;
    }
    const int sizes[] = {16, 32, 48};
    std::vector<std::string> images;
    for (int size : sizes) images.push_back(icon_image(size));

    std::string file;
    put16(file, 0);
    put16(file, 1);
    put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file += static_cast<char>(sizes[i]);
        file += static_cast<char>(sizes[i]);
        file += '\0';  // no palette
        file += '\0';
        put16(file, 1);
        put16(file, 32);
        put32(file, static_cast<std::uint32_t>(images[i].size()));
        put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& image : images) file += image;

    std::ofstream out(argv[1], std::ios::binary);
    out << file;
    if (!out.flush()) {
        std::fprintf(stderr, "tessary-draw-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
