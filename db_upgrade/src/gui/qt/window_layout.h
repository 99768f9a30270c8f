#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <vector>

// The controls of w_db_upgrade: what each is, where it sits, how it looks. Their behaviour
// is in w_db_upgrade.cpp.

namespace tessary::gui {

struct Controls {
    QListWidget* lb_2;  // progress list, newest line on top
    QLabel* st_4;
    QLabel* st_8;  // the banner
    QLabel* st_7;  // the panel behind the banner
    QCheckBox* cbx_proc;
    QListWidget* lb_1;  // the maintainers' file list
    QPushButton* cb_put;
    QPushButton* cb_get;
    QLabel* st_3;
    QLabel* st_2;
    QLabel* st_1;
    QPushButton* cb_2;  // exit
    QPushButton* cb_1;  // upgrade
    QGroupBox* gb_1;

    // In the order they were created, which is also their stacking order from the top: a
    // control covers those created after it (the banner lies on its panel).
    std::vector<QWidget*> in_creation_order() const;
    // cb_get, cb_put, lb_1 and cbx_proc, the controls for the maintainers of the scripts.
    std::vector<QWidget*> maintenance() const;
};

// Creates the controls on `window`, sets the window's title, icon, font and size, and
// chains the tab order.
Controls lay_out_window(QWidget* window);

}  // namespace tessary::gui
