#include "window_layout.h"

#include <QApplication>
#include <QColor>
#include <QFontMetrics>
#include <QIcon>
#include <QPalette>
#include <QStyle>
#include <algorithm>

#include "fonts.h"
#include "gbk_text.h"
#include "gui/layout_units.h"
#include "gui/window_table.h"

namespace tessary::gui {
namespace {

QColor colour(const Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

QRect rect(const PixelRect& box) {
    return QRect(box.x, box.y, box.width, box.height);
}

QListWidget* list_box() {
    auto* list = new QListWidget();
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QLabel* static_text(const ControlSpec& spec) {
    auto* label = new QLabel(from_gbk(spec.text));
    label->setTextFormat(Qt::PlainText);
    if (spec.centred) label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* panel() {
    auto* label = new QLabel();
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

QCheckBox* check_box(const ControlSpec& spec) {
    auto* box = new QCheckBox(from_gbk(spec.text));
    box->setChecked(spec.checked);
    return box;
}

QWidget* make_control(const ControlSpec& spec) {
    switch (spec.kind) {
        case ControlKind::kListBox:
            return list_box();
        case ControlKind::kText:
            return static_text(spec);
        case ControlKind::kPanel:
            return panel();
        case ControlKind::kCheckBox:
            return check_box(spec);
        case ControlKind::kButton:
            return new QPushButton(from_gbk(spec.text));
        case ControlKind::kGroupBox:
            return new QGroupBox(from_gbk(spec.text));
    }
    return nullptr;
}

void set_colours(QWidget* control, const ControlSpec& spec) {
    QPalette palette = control->palette();
    if (spec.text_colour) palette.setColor(QPalette::WindowText, colour(*spec.text_colour));
    if (spec.background) {
        palette.setColor(QPalette::Window, colour(*spec.background));
        control->setAutoFillBackground(true);
    }
    control->setPalette(palette);
}

// Names the control, puts it at its place, and stacks it below every control created
// before it. A text box grows to the line height and the text width of its font.
QWidget* place(QWidget* window, const ControlSpec& spec) {
    QWidget* control = make_control(spec);
    control->setParent(window);
    control->setObjectName(QString::fromLatin1(spec.name));
    control->setFont(window_font(spec.font));
    set_colours(control, spec);
    PixelRect box = layout_pixels(spec.place);
    if (spec.kind == ControlKind::kText) {
        const QFontMetrics metrics = control->fontMetrics();
        box = fitted_to_text_width(fitted_to_line_height(box, metrics.height()),
                                   metrics.horizontalAdvance(from_gbk(spec.text)), spec.centred);
    }
    control->setGeometry(rect(box));
    control->lower();
    return control;
}

template <typename Widget>
Widget* named(const std::vector<QWidget*>& controls, const char* name) {
    const auto found = std::find_if(controls.begin(), controls.end(), [name](QWidget* control) {
        return control->objectName() == QLatin1String(name);
    });
    return found == controls.end() ? nullptr : qobject_cast<Widget*>(*found);
}

// Chains the tab order of the table; a control outside it takes the focus by a click only.
void chain_tab_order(const std::vector<QWidget*>& controls) {
    QWidget* previous = nullptr;
    for (std::string_view name : tab_order()) {
        QWidget* control = named<QWidget>(controls, std::string(name).c_str());
        if (previous != nullptr) QWidget::setTabOrder(previous, control);
        previous = control;
    }
    for (QWidget* control : controls) {
        const bool chained = std::find(tab_order().begin(), tab_order().end(),
                                       control->objectName().toStdString()) != tab_order().end();
        if (!chained && (control->focusPolicy() & Qt::TabFocus)) {
            control->setFocusPolicy(Qt::ClickFocus);
        }
    }
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
    const WindowSpec& spec = window_spec();
    window->setWindowTitle(from_gbk(spec.title));
    window->setWindowIcon(QIcon::fromTheme(QStringLiteral("network-server-database"),
                                           window->style()->standardIcon(QStyle::SP_DriveHDIcon)));
    window->setFont(window_font(spec.font));
    window->resize(horizontal_pixels(spec.size.width), vertical_pixels(spec.size.height));

    std::vector<QWidget*> created;
    for (const ControlSpec& control : window_controls()) created.push_back(place(window, control));
    chain_tab_order(created);

    Controls c{};
    c.lb_2 = named<QListWidget>(created, "lb_2");
    c.st_4 = named<QLabel>(created, "st_4");
    c.st_8 = named<QLabel>(created, "st_8");
    c.st_7 = named<QLabel>(created, "st_7");
    c.cbx_proc = named<QCheckBox>(created, "cbx_proc");
    c.lb_1 = named<QListWidget>(created, "lb_1");
    c.cb_put = named<QPushButton>(created, "cb_put");
    c.cb_get = named<QPushButton>(created, "cb_get");
    c.st_3 = named<QLabel>(created, "st_3");
    c.st_2 = named<QLabel>(created, "st_2");
    c.st_1 = named<QLabel>(created, "st_1");
    c.cb_2 = named<QPushButton>(created, "cb_2");
    c.cb_1 = named<QPushButton>(created, "cb_1");
    c.gb_1 = named<QGroupBox>(created, "gb_1");
    return c;
}

}  // namespace tessary::gui
