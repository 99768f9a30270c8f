#include "qt_ui.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <utility>

#include "gbk_text.h"

namespace tessary::gui {
namespace {

void push_cursor(Qt::CursorShape shape) {
    QGuiApplication::setOverrideCursor(QCursor(shape));
}

void pop_cursor() {
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace

void show_message_box(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box.exec();
}

QtUi::QtUi(QWidget* window, const Controls& controls, MessagePresenter present_message)
    : window_(window), controls_(controls), present_message_(std::move(present_message)) {}

template <typename Call>
void QtUi::post(Call call) {
    QMetaObject::invokeMethod(window_, std::move(call), Qt::AutoConnection);
}

template <typename Call>
void QtUi::wait_for(Call call) {
    if (QThread::currentThread() == window_->thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(window_, std::move(call), Qt::BlockingQueuedConnection);
    }
}

void QtUi::message_box(const std::string& title, const std::string& text) {
    wait_for([this, title = from_gbk(title), text = from_gbk(text)] {
        // The box waits for a click, whatever the window is busy with.
        push_cursor(Qt::ArrowCursor);
        present_message_(window_, title, text);
        pop_cursor();
    });
}

void QtUi::beep(int times) {
    post([times] {
        for (int i = 0; i < times; ++i) QApplication::beep();
    });
}

bool QtUi::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_.exchange(on);
    if (on != previous) {
        post([on] { on ? push_cursor(Qt::WaitCursor) : pop_cursor(); });
    }
    return previous;
}

void QtUi::end_of_event() {
    if (wait_cursor_.exchange(false)) pop_cursor();
}

void QtUi::show_file_list(const std::vector<std::string>& names) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(names.size()));
    for (const auto& name : names) items.append(from_gbk(name));
    post([list = controls_.lb_1, items = std::move(items)] {
        list->clear();
        list->addItems(items);
    });
}

void QtUi::insert_progress_line(const std::string& line) {
    post([list = controls_.lb_2, text = from_gbk(line)] { list->insertItem(0, text); });
}

bool QtUi::apply_package_checked() {
    bool checked = false;
    wait_for([&checked, box = controls_.cbx_proc] { checked = box->isChecked(); });
    return checked;
}

void QtUi::set_upgrade_enabled(bool enabled) {
    post([button = controls_.cb_1, enabled] { button->setEnabled(enabled); });
}

}  // namespace tessary::gui
