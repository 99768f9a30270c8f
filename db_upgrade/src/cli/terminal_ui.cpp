#include "terminal_ui.h"

#include <iostream>

#include "host/host.h"

namespace tessary::cli {

void TerminalUi::message_box(const std::string& title, const std::string& text) {
    messages_.push_back({title, text});
    out_ << host::gbk_to_utf8(title) << ": " << host::gbk_to_utf8(text) << std::endl;
}

void TerminalUi::beep(int times) {
    if (&out_ != &std::cerr || !host::stderr_is_terminal()) return;
    for (int i = 0; i < times; ++i) out_ << '\a';
    out_ << std::flush;
}

bool TerminalUi::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_;
    wait_cursor_ = on;
    return previous;
}

void TerminalUi::insert_progress_line(const std::string& line) {
    out_ << host::gbk_to_utf8(line) << std::endl;
}

}  // namespace tessary::cli
