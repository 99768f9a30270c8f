#pragma once

#include <QThread>
#include <QWidget>
#include <functional>
#include <string>

#include "core/window.h"
#include "gui/window_table.h"
#include "qt_ui.h"
#include "window_layout.h"

namespace tessary::gui {

struct WindowSetup {
    BuildKind build = BuildKind::kShipped;
    MessagePresenter present_message = show_message_box;
};

// The window w_db_upgrade. Its events run the core's: window open, ue_postopen (the
// connection), cb_1 (the upgrade run), cb_put (the script package), cb_2 (exit).
//
// The database work of an event runs on a worker thread, so that the window keeps painting
// and shows the progress lines as they come; meanwhile the window takes no input (clicks,
// keys, closing) and shows the wait cursor. One event of the core runs at a time.
class WDbUpgrade final : public QWidget {
  public:
    WDbUpgrade(Transaction& sqlca, System& system, WindowSetup setup);
    ~WDbUpgrade() override;

    // Window open: shows or hides the maintenance controls, sets is_runpath, shows the
    // window centred on the screen, and then posts ue_postopen, which connects.
    void open();

    // Runs `event` of the core on a worker thread. Ignored while another one runs.
    void run_in_background(std::function<void(UpgradeWindow&)> event);
    // Whether an event of the core runs or is about to.
    bool busy() const { return busy_; }
    // Handles the GUI's events until no event of the core runs.
    void wait_until_idle();

    const Controls& controls() const { return controls_; }
    // The core's side of the window: is_runpath, ib_sorvanth, is_sorvanth.
    const UpgradeWindow& core() const { return core_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void begin_busy();
    void start_worker(std::function<void(UpgradeWindow&)> event);
    void run_guarded(const std::function<void(UpgradeWindow&)>& event);
    void background_finished();

    BuildKind build_;
    Controls controls_;
    QtUi ui_;
    UpgradeWindow core_;
    QThread* worker_ = nullptr;
    bool busy_ = false;
};

}  // namespace tessary::gui
