#pragma once

#include <iostream>
#include <string>
#include <vector>

#include "core/ui.h"

namespace tessary::cli {

// The window as a terminal shows it: message boxes as "title: text" lines and progress
// lines as they are, on `out` (stderr) in UTF-8; beeps where stderr is a terminal. The twin
// is the shipped program, whose package check box stays checked. What the upgrade button
// and the message boxes end as, the commands turn into their exit codes.
class TerminalUi final : public Ui {
  public:
    explicit TerminalUi(std::ostream& out = std::cerr) : out_(out) {}

    void message_box(const std::string& title, const std::string& text) override;
    void beep(int times) override;
    // A terminal has no pointer to change; the state is kept so that steps restore it.
    bool set_wait_cursor(bool on) override;
    // The progress lines name each script as it is taken; a terminal shows no second list.
    void show_file_list(const std::vector<std::string>&) override {}
    void insert_progress_line(const std::string& line) override;
    bool apply_package_checked() override { return true; }
    void set_upgrade_enabled(bool enabled) override { upgrade_enabled_ = enabled; }

    struct Message {
        std::string title;
        std::string text;
    };

    bool upgrade_enabled() const { return upgrade_enabled_; }
    // The message boxes shown so far (GBK).
    const std::vector<Message>& messages() const { return messages_; }

  private:
    std::ostream& out_;
    bool wait_cursor_ = false;
    bool upgrade_enabled_ = true;
    std::vector<Message> messages_;
};

}  // namespace tessary::cli
