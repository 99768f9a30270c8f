#pragma once

#include <string>
#include <vector>

#include "core/runtime.h"

namespace tessary::cli {

// The runtime of the command-line twin: what the window would show goes to stderr as
// UTF-8 (message boxes as "title: text", progress lines as they are); the maintainers'
// check box stays checked, as in the shipped program.
class CliRuntime final : public Runtime {
  public:
    // Without `read_registry` every registry value reads as missing.
    explicit CliRuntime(Transaction& sqlca, bool read_registry = true)
        : sqlca_(sqlca), read_registry_(read_registry) {}

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    bool set_wait_cursor(bool on) override;
    std::optional<std::string> registry_string(const std::string& key,
                                               const std::string& value) override;
    std::string current_directory() override;
    std::string program_directory() override;
    void show_file_list(const std::vector<std::string>&) override {}
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override { return true; }
    void set_upgrade_enabled(bool enabled) override { upgrade_enabled_ = enabled; }
    Transaction& sqlca() override { return sqlca_; }

    struct Message {
        std::string title;
        std::string text;
    };

    bool upgrade_enabled() const { return upgrade_enabled_; }
    // The message boxes shown so far (GBK).
    const std::vector<Message>& messages() const { return messages_; }

  private:
    Transaction& sqlca_;
    bool read_registry_;
    bool wait_cursor_ = false;
    bool upgrade_enabled_ = true;
    std::vector<Message> messages_;
};

}  // namespace tessary::cli
