#include "window_layout.h"

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QStyle>

#include "fonts.h"
#include "layout_units.h"

namespace tessary::gui {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kLightBlue(166, 202, 240);

// Names the control, puts it at its place in layout units, and stacks it below every
// control created before it.
template <typename Control>
Control* place(Control* control, const char* name, int x, int y, int width, int height) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(layout_rect(x, y, width, height));
    control->lower();
    return control;
}

void set_colours(QWidget* control, const QColor& text, const QColor* background = nullptr) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, text);
    if (background != nullptr) {
        palette.setColor(QPalette::Window, *background);
        control->setAutoFillBackground(true);
    }
    control->setPalette(palette);
}

QLabel* static_text(QWidget* window, const QString& text, const FontLook& font) {
    auto* label = new QLabel(text, window);
    label->setTextFormat(Qt::PlainText);
    label->setFont(window_font(font));
    return label;
}

// The boxes of the texts are as high as a line of 宋体. A face with more line spacing (the
// Noto fallback) would lose its underline and the feet of its letters, so such a box
// grows evenly at top and bottom, about the same middle line.
void fit_line_height(QLabel* label) {
    const int missing = label->fontMetrics().height() - label->height();
    if (missing <= 0) return;
    const QRect box = label->geometry();
    label->setGeometry(box.adjusted(0, -missing / 2, 0, missing - missing / 2));
}

QListWidget* list_box(QWidget* window) {
    auto* list = new QListWidget(window);
    list->setFont(window_font({Face::kSong, 10}));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QPushButton* button(QWidget* window, const QString& text) {
    return new QPushButton(text, window);
}

}  // namespace

std::vector<QWidget*> Controls::in_creation_order() const {
    return {lb_2,   st_4, st_8, st_7, cbx_proc, lb_1, cb_put,
            cb_get, st_3, st_2, st_1, cb_2,     cb_1, gb_1};
}

std::vector<QWidget*> Controls::maintenance() const {
    return {cb_get, cb_put, lb_1, cbx_proc};
}

Controls lay_out_window(QWidget* window) {
    window->setWindowTitle(QStringLiteral("烘焙连锁软件数据库升级"));
    window->setWindowIcon(QIcon::fromTheme(QStringLiteral("network-server-database"),
                                           window->style()->standardIcon(QStyle::SP_DriveHDIcon)));
    // Controls without a font of their own (the buttons) take the window's: 宋体 9 pt.
    window->setFont(window_font({Face::kSong, 9}));
    window->resize(horizontal_pixels(2277), vertical_pixels(1888));

    Controls c{};
    c.lb_2 = place(list_box(window), "lb_2", 18, 1156, 2162, 408);

    c.st_4 = place(static_text(window, QStringLiteral("更新日期："), {Face::kSong, 10}), "st_4",
                   1367, 380, 302, 52);
    set_colours(c.st_4, kRed);

    c.st_8 = place(static_text(window, QStringLiteral("烘焙连锁管理系统"), {Face::kClerical, 28}),
                   "st_8", 32, 88, 2171, 164);
    c.st_8->setAlignment(Qt::AlignCenter);
    set_colours(c.st_8, kBlue, &kLightBlue);

    c.st_7 = place(new QLabel(window), "st_7", 18, 4, 2194, 312);
    c.st_7->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    set_colours(c.st_7, kBlue, &kLightBlue);

    c.cbx_proc = place(new QCheckBox(QStringLiteral("Proc&&Trigger"), window), "cbx_proc", 663, 768,
                       466, 76);
    c.cbx_proc->setFont(window_font({Face::kSong, 9, /*bold=*/true}));
    c.cbx_proc->setChecked(true);
    // Not in the tab order; a click still gives it the focus.
    c.cbx_proc->setFocusPolicy(Qt::ClickFocus);

    c.lb_1 = place(list_box(window), "lb_1", 1335, 596, 846, 476);
    c.cb_put = place(button(window, QStringLiteral("put")), "cb_put", 366, 764, 288, 92);
    c.cb_get = place(button(window, QStringLiteral("get")), "cb_get", 64, 764, 288, 92);

    c.st_3 = place(static_text(window, QStringLiteral("2021-11-08"),
                               {Face::kSong, 10, /*bold=*/true, /*underline=*/true}),
                   "st_3", 1719, 380, 457, 52);
    set_colours(c.st_3, kRed);

    c.st_2 = place(
        static_text(window, QStringLiteral("运行本程序前，请先备份数据库！"), {Face::kSong, 10}),
        "st_2", 178, 644, 905, 52);
    c.st_1 = place(
        static_text(window, QStringLiteral("此程序把用户数据库升级到最新版本，并保留其原有数据。"),
                    {Face::kSong, 10}),
        "st_1", 187, 544, 1559, 52);

    c.cb_2 = place(button(window, QStringLiteral("退出(&E)")), "cb_2", 1399, 1620, 439, 96);
    c.cb_1 = place(button(window, QStringLiteral("数据库升级(&U)")), "cb_1", 155, 1620, 439, 96);
    c.gb_1 = place(new QGroupBox(window), "gb_1", 23, 320, 2194, 804);

    for (QLabel* text : {c.st_4, c.st_8, c.st_3, c.st_2, c.st_1}) fit_line_height(text);

    // Tab order 10: cb_1, cb_2; 20: lb_1, cb_put, cb_get; 30: lb_2.
    QWidget::setTabOrder(c.cb_1, c.cb_2);
    QWidget::setTabOrder(c.cb_2, c.lb_1);
    QWidget::setTabOrder(c.lb_1, c.cb_put);
    QWidget::setTabOrder(c.cb_put, c.cb_get);
    QWidget::setTabOrder(c.cb_get, c.lb_2);
    return c;
}

}  // namespace tessary::gui
