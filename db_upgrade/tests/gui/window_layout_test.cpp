// The controls of w_db_upgrade: names, kinds, texts, places, fonts, colours, order, tab
// order, and what each kind of build shows.
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "gui/qt/fonts.h"
#include "gui_fixture.h"

namespace tessary::testing {
namespace {

using gui::BuildKind;

struct ExpectedControl {
    const char* name;
    const char* kind;  // class name
    QString text;
    QRect pixels;  // the layout units by the 96-dpi rule
};

// The window's table, in creation order.
const std::vector<ExpectedControl>& table() {
    static const std::vector<ExpectedControl> controls{
        {"lb_2", "QListWidget", {}, {4, 289, 473, 102}},
        {"st_4", "QLabel", QStringLiteral("更新日期："), {299, 95, 66, 13}},
        {"st_8", "QLabel", QStringLiteral("烘焙连锁管理系统"), {7, 22, 475, 41}},
        {"st_7", "QLabel", {}, {4, 1, 480, 78}},
        {"cbx_proc", "QCheckBox", QStringLiteral("Proc&&Trigger"), {145, 192, 102, 19}},
        {"lb_1", "QListWidget", {}, {292, 149, 185, 119}},
        {"cb_put", "QPushButton", QStringLiteral("put"), {80, 191, 63, 23}},
        {"cb_get", "QPushButton", QStringLiteral("get"), {14, 191, 63, 23}},
        {"st_3", "QLabel", QStringLiteral("2021-11-08"), {376, 95, 100, 13}},
        {"st_2", "QLabel", QStringLiteral("运行本程序前，请先备份数据库！"), {39, 161, 198, 13}},
        {"st_1",
         "QLabel",
         QStringLiteral("此程序把用户数据库升级到最新版本，并保留其原有数据。"),
         {41, 136, 341, 13}},
        {"cb_2", "QPushButton", QStringLiteral("退出(&E)"), {306, 405, 96, 24}},
        {"cb_1", "QPushButton", QStringLiteral("数据库升级(&U)"), {34, 405, 96, 24}},
        {"gb_1", "QGroupBox", {}, {5, 80, 480, 201}},
    };
    return controls;
}

QString text_of(const QWidget* control) {
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
    return {};
}

class WindowLayout : public GuiFixture {
  protected:
    WindowLayout() { server.add_database(store_database("store", "20200117")); }
};

TEST_F(WindowLayout, EveryControlOfTheTableInItsPlaceWithItsText) {
    ASSERT_TRUE(open_window());
    const auto created = controls().in_creation_order();
    ASSERT_EQ(created.size(), table().size());
    for (std::size_t i = 0; i < created.size(); ++i) {
        const ExpectedControl& expected = table()[i];
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(created[i]->objectName(), QString::fromLatin1(expected.name));
        EXPECT_STREQ(created[i]->metaObject()->className(), expected.kind);
        EXPECT_EQ(text_of(created[i]), expected.text);
        EXPECT_EQ(window->findChild<QWidget*>(QString::fromLatin1(expected.name)), created[i]);

        const QRect box = created[i]->geometry();
        EXPECT_EQ(box.x(), expected.pixels.x());
        EXPECT_EQ(box.width(), expected.pixels.width());
        if (qobject_cast<const QLabel*>(created[i]) == nullptr) {
            EXPECT_EQ(box, expected.pixels);
        } else {
            // A text box may be higher than its layout so that a whole line of its font
            // shows, about the same middle.
            EXPECT_LE(box.top(), expected.pixels.top());
            EXPECT_GE(box.bottom(), expected.pixels.bottom());
            EXPECT_LE(std::abs(box.center().y() - expected.pixels.center().y()), 1);
            if (!text_of(created[i]).isEmpty()) {
                EXPECT_GE(box.height(), created[i]->fontMetrics().height());
                // Never narrower than its text.
                EXPECT_LE(created[i]->fontMetrics().horizontalAdvance(text_of(created[i])),
                          box.width());
            }
        }
    }
    EXPECT_EQ(window->windowTitle(), QStringLiteral("烘焙连锁软件数据库升级"));
    EXPECT_EQ(window->size(), QSize(498, 472));
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowLayout, AControlLiesOverThoseCreatedAfterIt) {
    ASSERT_TRUE(open_window());
    // Qt paints a parent's children in the order of its list, the last on top.
    QList<QWidget*> stacked = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::vector<QWidget*> bottom_up = controls().in_creation_order();
    std::reverse(bottom_up.begin(), bottom_up.end());
    EXPECT_EQ(std::vector<QWidget*>(stacked.begin(), stacked.end()), bottom_up);

    // The banner's letters show over its panel.
    const QImage picture = window->grab().toImage();
    const QRect banner = controls().st_8->geometry();
    bool blue_letters = false;
    for (int x = banner.left(); x <= banner.right() && !blue_letters; ++x) {
        blue_letters = picture.pixelColor(x, banner.center().y()) == QColor(0, 0, 255);
    }
    EXPECT_TRUE(blue_letters);
}

TEST_F(WindowLayout, FontsAndColours) {
    ASSERT_TRUE(open_window());
    const gui::Controls& c = controls();
    const QString song = gui::family_for(gui::Face::kSong);
    struct ExpectedFont {
        const QWidget* control;
        QString family;
        int pixels;
        bool bold;
        bool underline;
    };
    const std::vector<ExpectedFont> fonts{
        {c.lb_2, song, 13, false, false},    {c.st_4, song, 13, false, false},
        {c.cbx_proc, song, 12, true, false}, {c.lb_1, song, 13, false, false},
        {c.st_3, song, 13, true, true},      {c.st_2, song, 13, false, false},
        {c.st_1, song, 13, false, false},    {c.cb_1, song, 12, false, false},
        {c.cb_2, song, 12, false, false},
    };
    for (const ExpectedFont& expected : fonts) {
        SCOPED_TRACE(expected.control->objectName().toStdString());
        const QFont font = expected.control->font();
        EXPECT_EQ(font.family(), expected.family);
        EXPECT_EQ(font.pixelSize(), expected.pixels);
        EXPECT_EQ(font.bold(), expected.bold);
        EXPECT_EQ(font.underline(), expected.underline);
        // The face really drawn can write the window's Chinese texts.
        const QString drawn = QFontInfo(font).family();
        EXPECT_TRUE(QFontDatabase::writingSystems(drawn).contains(QFontDatabase::SimplifiedChinese))
            << drawn.toStdString();
    }
    EXPECT_EQ(c.st_8->font().family(), gui::family_for(gui::Face::kClerical));
    EXPECT_EQ(c.st_8->font().pixelSize(), 37);

    const QColor red(255, 0, 0), blue(0, 0, 255), light_blue(166, 202, 240);
    EXPECT_EQ(c.st_4->palette().color(QPalette::WindowText), red);
    EXPECT_EQ(c.st_3->palette().color(QPalette::WindowText), red);
    EXPECT_EQ(c.st_8->palette().color(QPalette::WindowText), blue);
    const QImage picture = window->grab().toImage();
    EXPECT_EQ(picture.pixelColor(c.st_8->geometry().topLeft() + QPoint(2, 2)), light_blue);
    EXPECT_EQ(picture.pixelColor(c.st_7->geometry().bottomLeft() + QPoint(4, -4)), light_blue);
    EXPECT_NE(c.st_7->frameShape(), QFrame::NoFrame);
}

TEST_F(WindowLayout, TheShippedBuildHidesTheMaintenanceControlsButKeepsTheBoxChecked) {
    for (BuildKind build : {BuildKind::kShipped, BuildKind::kDevelopment}) {
        SCOPED_TRACE(build == BuildKind::kShipped ? "shipped" : "development");
        ASSERT_TRUE(open_window(build));
        const auto maintenance = controls().maintenance();
        for (QWidget* control : controls().in_creation_order()) {
            const bool for_maintainers =
                std::find(maintenance.begin(), maintenance.end(), control) != maintenance.end();
            EXPECT_EQ(control->isVisible(), build == BuildKind::kDevelopment || !for_maintainers)
                << control->objectName().toStdString();
        }
        EXPECT_TRUE(controls().cbx_proc->isChecked());
        EXPECT_TRUE(controls().cb_1->isEnabled());
        EXPECT_TRUE(controls().cb_2->isEnabled());
    }
}

TEST_F(WindowLayout, TabGoesThroughTheButtonsThenTheListsAndSkipsWhatIsHidden) {
    const std::vector<std::pair<BuildKind, QStringList>> chains{
        {BuildKind::kDevelopment, {"cb_1", "cb_2", "lb_1", "cb_put", "cb_get", "lb_2", "cb_1"}},
        {BuildKind::kShipped, {"cb_1", "cb_2", "lb_2", "cb_1"}},
    };
    for (const auto& [build, expected] : chains) {
        ASSERT_TRUE(open_window(build));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        EXPECT_EQ(visited, expected);
    }
}

}  // namespace
}  // namespace tessary::testing
