#include "recording_runtime.h"

namespace tessary::testing {

using Kind = Event::Kind;

void RecordingRuntime::message_box(const std::string& title, const std::string& text) {
    timeline_.add({Kind::kMessage, text, title});
}

void RecordingRuntime::beep(int times) {
    timeline_.add({Kind::kBeep, std::to_string(times), {}});
}

bool RecordingRuntime::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_;
    wait_cursor_ = on;
    timeline_.add({Kind::kWaitCursor, on ? "on" : "off", {}});
    return previous;
}

std::optional<std::string> RecordingRuntime::registry_string(const std::string& key,
                                                             const std::string& value) {
    if (key != "SOFTWARE\\korvane") return std::nullopt;
    const auto found = registry.find(value);
    if (found == registry.end()) return std::nullopt;
    return found->second;
}

void RecordingRuntime::show_file_list(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += name + "\n";
    timeline_.add({Kind::kFileList, text, {}});
}

void RecordingRuntime::insert_progress_line(const std::string& line) {
    timeline_.add({Kind::kProgress, line, {}});
}

void RecordingRuntime::set_upgrade_enabled(bool enabled) {
    upgrade_enabled = enabled;
    timeline_.add({Kind::kUpgradeEnabled, enabled ? "on" : "off", {}});
}

}  // namespace tessary::testing
