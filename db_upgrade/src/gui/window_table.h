#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "layout_units.h"

// The window w_db_upgrade as data: its title and size, and each control's name, kind, text,
// place, font and colours, in creation order. The Qt window and the Win32 window both build
// themselves from it. Texts are GBK, as every text of the program; each window turns them
// into its toolkit's Unicode at its own boundary. In a button or check box label "&" marks
// the access key and "&&" shows one ampersand.

namespace tessary::gui {

enum class ControlKind { kListBox, kText, kPanel, kCheckBox, kButton, kGroupBox };

// The two faces of the window, 宋体 (Song) and 隶书 (clerical script).
enum class Face { kSong, kClerical };

struct FontLook {
    Face face = Face::kSong;
    int points = 10;
    bool bold = false;
    bool underline = false;
};

struct Rgb {
    unsigned char red, green, blue;
};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kLightBlue{166, 202, 240};

struct ControlSpec {
    const char* name;
    ControlKind kind;
    const char* text;
    LayoutRect place;
    FontLook font;
    std::optional<Rgb> text_colour;  // the toolkit's own when absent
    std::optional<Rgb> background;   // the window's when absent
    bool centred;                    // text centred both ways (the banner)
    bool for_maintainers;            // hidden in the shipped program
    bool checked;                    // a check box's initial state
};

struct WindowSpec {
    const char* title;
    LayoutRect size;  // of the content area; x and y are 0
    FontLook font;    // for what has no font of its own (message boxes, a toolkit's defaults)
};

const WindowSpec& window_spec();

// In creation order, which is also the stacking order from the top: a control covers those
// created after it (the banner lies on its panel, everything on the group box).
const std::vector<ControlSpec>& window_controls();

// The controls that take the focus by Tab, in the order they take it: tab order 10 (cb_1,
// cb_2), 20 (lb_1, cb_put, cb_get), 30 (lb_2). A hidden or disabled one is passed over.
const std::vector<std::string_view>& tab_order();

// Whether the development build is running: it shows the maintainers' controls, the shipped
// program hides them. The program is one or the other by its build; a window takes it as
// given.
enum class BuildKind { kShipped, kDevelopment };

}  // namespace tessary::gui
