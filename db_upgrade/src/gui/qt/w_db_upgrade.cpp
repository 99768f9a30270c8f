#include "w_db_upgrade.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <exception>
#include <utility>

namespace tessary::gui {
namespace {

bool is_user_input(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

}  // namespace

WDbUpgrade::WDbUpgrade(Transaction& sqlca, System& system, WindowSetup setup)
    : build_(setup.build),
      controls_(lay_out_window(this)),
      ui_(this, controls_, std::move(setup.present_message)),
      core_(ui_, system, sqlca) {
    connect(controls_.cb_1, &QPushButton::clicked, this,
            [this] { run_in_background(cb_1_clicked); });
    connect(controls_.cb_2, &QPushButton::clicked, this, &QWidget::close);
    connect(controls_.cb_put, &QPushButton::clicked, this,
            [this] { run_in_background(cb_put_clicked); });
    connect(controls_.cb_get, &QPushButton::clicked, this,
            [this] { run_in_background(cb_get_clicked); });
}

WDbUpgrade::~WDbUpgrade() {
    wait_until_idle();
}

void WDbUpgrade::open() {
    const bool development = build_ == BuildKind::kDevelopment;
    for (QWidget* control : controls_.maintenance()) control->setVisible(development);
    tessary::open(core_);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    controls_.cb_1->setFocus();
    // ue_postopen runs once open has returned and the window is on screen; until it has
    // connected, the window takes no input.
    begin_busy();
    QMetaObject::invokeMethod(
        this, [this] { start_worker(ue_postopen); }, Qt::QueuedConnection);
}

void WDbUpgrade::run_in_background(std::function<void(UpgradeWindow&)> event) {
    if (busy()) return;
    begin_busy();
    start_worker(std::move(event));
}

void WDbUpgrade::begin_busy() {
    busy_ = true;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QCoreApplication::instance()->installEventFilter(this);
}

void WDbUpgrade::start_worker(std::function<void(UpgradeWindow&)> event) {
    worker_ = QThread::create([this, event = std::move(event)] { run_guarded(event); });
    connect(worker_, &QThread::finished, this, &WDbUpgrade::background_finished);
    worker_->start();
}

void WDbUpgrade::run_guarded(const std::function<void(UpgradeWindow&)>& event) {
    // Nothing may escape the worker thread; the user learns what stopped the work.
    try {
        event(core_);
    } catch (const std::exception& failure) {
        ui_.message_box(gs_appname, failure.what());
    } catch (...) {
        ui_.message_box(gs_appname, "unexpected failure");
    }
}

void WDbUpgrade::background_finished() {
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    ui_.end_of_event();
    QCoreApplication::instance()->removeEventFilter(this);
    QGuiApplication::restoreOverrideCursor();
    busy_ = false;
}

void WDbUpgrade::wait_until_idle() {
    while (busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void WDbUpgrade::closeEvent(QCloseEvent* event) {
    if (busy()) {
        event->ignore();
    } else {
        event->accept();
    }
}

bool WDbUpgrade::eventFilter(QObject* watched, QEvent* event) {
    if (!busy() || !is_user_input(event->type())) return false;
    const auto* widget = qobject_cast<const QWidget*>(watched);
    return widget != nullptr && widget->window() == this;
}

}  // namespace tessary::gui
