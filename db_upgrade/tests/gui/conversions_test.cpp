// Layout units and points to pixels, and GBK to Unicode at the Qt boundary.
#include <gtest/gtest.h>

#include "gui/layout_units.h"
#include "gui/qt/gbk_text.h"
#include "gui_fixture.h"

namespace tessary::testing {
namespace {

TEST(LayoutUnits, BecomePixelsByThe96DpiRuleRoundedToTheNearest) {
    EXPECT_EQ(gui::horizontal_pixels(32), 7);
    EXPECT_EQ(gui::horizontal_pixels(2277), 498);  // 498.09
    EXPECT_EQ(gui::horizontal_pixels(18), 4);      // 3.94
    EXPECT_EQ(gui::horizontal_pixels(16), 4);      // 3.5, halves up
    EXPECT_EQ(gui::horizontal_pixels(0), 0);
    EXPECT_EQ(gui::vertical_pixels(1888), 472);
    EXPECT_EQ(gui::vertical_pixels(2), 1);  // 0.5
    EXPECT_EQ(gui::vertical_pixels(1), 0);
    EXPECT_EQ(gui::layout_pixels({155, 1620, 439, 96}), (gui::PixelRect{34, 405, 96, 24}));

    EXPECT_EQ(gui::font_pixels(9), 12);
    EXPECT_EQ(gui::font_pixels(10), 13);
    EXPECT_EQ(gui::font_pixels(28), 37);

    // A box of text narrower than its text grows to it, to the right or evenly when centred.
    const gui::PixelRect label{299, 95, 66, 13};
    EXPECT_EQ(gui::fitted_to_text_width(label, 65, false), label);
    EXPECT_EQ(gui::fitted_to_text_width(label, 71, false), (gui::PixelRect{299, 95, 71, 13}));
    EXPECT_EQ(gui::fitted_to_text_width(label, 71, true), (gui::PixelRect{297, 95, 71, 13}));
}

TEST(GbkText, BecomesUnicodeAtTheQtBoundary) {
    EXPECT_EQ(gui::from_gbk("\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd\xca\xfd\xbe\xdd\xbf\xe2"),
              QStringLiteral("不能连接到数据库"));
    EXPECT_EQ(gui::from_gbk("ok: \xca\xfd 1"), QStringLiteral("ok: 数 1"));
    EXPECT_EQ(gui::from_gbk(""), QString());
    // A lead byte without its second byte is not lost silently.
    EXPECT_EQ(gui::from_gbk("a\xca"), QStringLiteral("a?"));
}

}  // namespace
}  // namespace tessary::testing
