#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "timeline.h"

namespace tessary::testing {

// A Runtime for tests: records every call in the timeline and answers from its fields.
class RecordingRuntime final : public Runtime {
  public:
    RecordingRuntime(Transaction& sqlca, Timeline& timeline) : sqlca_(sqlca), timeline_(timeline) {}

    // Registry values under HKEY_LOCAL_MACHINE\SOFTWARE\korvane, by value name.
    std::map<std::string, std::string> registry;
    std::string current_dir = "/store/pos";
    std::string program_dir = "/store/pos";
    bool package_checked = true;
    bool upgrade_enabled = true;

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    bool set_wait_cursor(bool on) override;
    std::optional<std::string> registry_string(const std::string& key,
                                               const std::string& value) override;
    std::string current_directory() override { return current_dir; }
    std::string program_directory() override { return program_dir; }
    void show_file_list(const std::vector<std::string>& names) override;
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override { return package_checked; }
    void set_upgrade_enabled(bool enabled) override;
    Transaction& sqlca() override { return sqlca_; }

    bool wait_cursor() const { return wait_cursor_; }

  private:
    Transaction& sqlca_;
    Timeline& timeline_;
    bool wait_cursor_ = false;
};

}  // namespace tessary::testing
