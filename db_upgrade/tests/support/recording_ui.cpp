#include "recording_ui.h"

namespace tessary::testing {

using Kind = Event::Kind;

void RecordingUi::message_box(const std::string& title, const std::string& text) {
    timeline_.add({Kind::kMessage, text, title});
}

void RecordingUi::beep(int times) {
    timeline_.add({Kind::kBeep, std::to_string(times), {}});
}

bool RecordingUi::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_;
    wait_cursor_ = on;
    timeline_.add({Kind::kWaitCursor, on ? "on" : "off", {}});
    return previous;
}

void RecordingUi::show_file_list(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += name + "\n";
    timeline_.add({Kind::kFileList, text, {}});
}

void RecordingUi::insert_progress_line(const std::string& line) {
    timeline_.add({Kind::kProgress, line, {}});
}

void RecordingUi::set_upgrade_enabled(bool enabled) {
    upgrade_enabled = enabled;
    timeline_.add({Kind::kUpgradeEnabled, enabled ? "on" : "off", {}});
}

}  // namespace tessary::testing
