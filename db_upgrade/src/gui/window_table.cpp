#include "window_table.h"

namespace tessary::gui {

const WindowSpec& window_spec() {
    static const WindowSpec window{"烘焙连锁软件数据库升级", {0, 0, 2277, 1888}, {Face::kSong, 9}};
    return window;
}

const std::vector<ControlSpec>& window_controls() {
    using K = ControlKind;
    const FontLook song10{Face::kSong, 10};
    const FontLook song9{Face::kSong, 9};
    const FontLook bold9{Face::kSong, 9, true};
    const FontLook date{Face::kSong, 10, true, true};
    const FontLook banner{Face::kClerical, 28};
    const std::optional<Rgb> none;
    // clang-format off
    static const std::vector<ControlSpec> controls{
        // name, kind, text, place, font, text colour, background, centred, maintainers, checked
        {"lb_2", K::kListBox, "", {18, 1156, 2162, 408}, song10, none, none, false, false, false},
        {"st_4", K::kText, "更新日期：", {1367, 380, 302, 52}, song10, kRed, none, false, false, false},
        {"st_8", K::kText, "烘焙连锁管理系统", {32, 88, 2171, 164}, banner, kBlue, kLightBlue, true, false, false},
        {"st_7", K::kPanel, "", {18, 4, 2194, 312}, song10, kBlue, kLightBlue, false, false, false},
        {"cbx_proc", K::kCheckBox, "Proc&&Trigger", {663, 768, 466, 76}, bold9, none, none, false, true, true},
        {"lb_1", K::kListBox, "", {1335, 596, 846, 476}, song10, none, none, false, true, false},
        {"cb_put", K::kButton, "put", {366, 764, 288, 92}, song9, none, none, false, true, false},
        {"cb_get", K::kButton, "get", {64, 764, 288, 92}, song9, none, none, false, true, false},
        {"st_3", K::kText, "2021-11-08", {1719, 380, 457, 52}, date, kRed, none, false, false, false},
        {"st_2", K::kText, "运行本程序前，请先备份数据库！", {178, 644, 905, 52}, song10, none, none, false, false, false},
        {"st_1", K::kText, "此程序把用户数据库升级到最新版本，并保留其原有数据。", {187, 544, 1559, 52}, song10, none, none, false, false, false},
        {"cb_2", K::kButton, "退出(&E)", {1399, 1620, 439, 96}, song9, none, none, false, false, false},
        {"cb_1", K::kButton, "数据库升级(&U)", {155, 1620, 439, 96}, song9, none, none, false, false, false},
        {"gb_1", K::kGroupBox, "", {23, 320, 2194, 804}, song9, none, none, false, false, false},
    };
    // clang-format on
    return controls;
}

const std::vector<std::string_view>& tab_order() {
    static const std::vector<std::string_view> chain{"cb_1",   "cb_2",   "lb_1",
                                                     "cb_put", "cb_get", "lb_2"};
    return chain;
}

}  // namespace tessary::gui
