#pragma once

#include <string>
#include <vector>

#include "core/ui.h"
#include "timeline.h"

namespace tessary::testing {

// A Ui for tests: records every call in the timeline and answers from its fields.
class RecordingUi final : public Ui {
  public:
    explicit RecordingUi(Timeline& timeline) : timeline_(timeline) {}

    bool package_checked = true;
    bool upgrade_enabled = true;

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    bool set_wait_cursor(bool on) override;
    void show_file_list(const std::vector<std::string>& names) override;
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override { return package_checked; }
    void set_upgrade_enabled(bool enabled) override;

    bool wait_cursor() const { return wait_cursor_; }

  private:
    Timeline& timeline_;
    bool wait_cursor_ = false;
};

}  // namespace tessary::testing
