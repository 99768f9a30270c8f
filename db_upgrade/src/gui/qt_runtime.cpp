#include "qt_runtime.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <utility>

#include "gbk_text.h"
#include "host/host.h"

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

QtRuntime::QtRuntime(QWidget* window, const Controls& controls, Transaction& sqlca,
                     MessagePresenter present_message, std::string program_directory)
    : window_(window),
      controls_(controls),
      sqlca_(sqlca),
      present_message_(std::move(present_message)),
      program_directory_(std::move(program_directory)) {}

template <typename Call>
void QtRuntime::post(Call call) {
    QMetaObject::invokeMethod(window_, std::move(call), Qt::AutoConnection);
}

template <typename Call>
void QtRuntime::wait_for(Call call) {
    if (QThread::currentThread() == window_->thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(window_, std::move(call), Qt::BlockingQueuedConnection);
    }
}

void QtRuntime::message_box(const std::string& title, const std::string& text) {
    wait_for([this, title = from_gbk(title), text = from_gbk(text)] {
        // The box waits for a click, whatever the window is busy with.
        push_cursor(Qt::ArrowCursor);
        present_message_(window_, title, text);
        pop_cursor();
    });
}

void QtRuntime::beep(int times) {
    post([times] {
        for (int i = 0; i < times; ++i) QApplication::beep();
    });
}

bool QtRuntime::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_.exchange(on);
    if (on != previous) {
        post([on] { on ? push_cursor(Qt::WaitCursor) : pop_cursor(); });
    }
    return previous;
}

void QtRuntime::end_of_event() {
    if (wait_cursor_.exchange(false)) pop_cursor();
}

std::optional<std::string> QtRuntime::registry_string(const std::string& key,
                                                      const std::string& value) {
    return host::registry_string(key, value);
}

std::string QtRuntime::current_directory() {
    return host::current_directory();
}

void QtRuntime::show_file_list(const std::vector<std::string>& names) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(names.size()));
    for (const auto& name : names) items.append(from_gbk(name));
    post([list = controls_.lb_1, items = std::move(items)] {
        list->clear();
        list->addItems(items);
    });
}

void QtRuntime::insert_progress_line(const std::string& line) {
    post([list = controls_.lb_2, text = from_gbk(line)] { list->insertItem(0, text); });
}

bool QtRuntime::apply_package_checked() {
    bool checked = false;
    wait_for([&checked, box = controls_.cbx_proc] { checked = box->isChecked(); });
    return checked;
}

void QtRuntime::set_upgrade_enabled(bool enabled) {
    post([button = controls_.cb_1, enabled] { button->setEnabled(enabled); });
}

}  // namespace tessary::gui
