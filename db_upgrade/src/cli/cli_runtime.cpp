#include "cli_runtime.h"

#include <iostream>

#include "host/host.h"

namespace tessary::cli {

void CliRuntime::message_box(const std::string& title, const std::string& text) {
    messages_.push_back({title, text});
    std::cerr << host::gbk_to_utf8(title) << ": " << host::gbk_to_utf8(text) << std::endl;
}

void CliRuntime::beep(int times) {
    if (!host::stderr_is_terminal()) return;
    for (int i = 0; i < times; ++i) std::cerr << '\a';
    std::cerr << std::flush;
}

bool CliRuntime::set_wait_cursor(bool on) {
    const bool previous = wait_cursor_;
    wait_cursor_ = on;
    return previous;
}

std::optional<std::string> CliRuntime::registry_string(const std::string& key,
                                                       const std::string& value) {
    if (!read_registry_) return std::nullopt;
    return host::registry_string(key, value);
}

std::string CliRuntime::current_directory() {
    return host::current_directory();
}
std::string CliRuntime::program_directory() {
    return host::program_directory();
}

void CliRuntime::insert_progress_line(const std::string& line) {
    std::cerr << host::gbk_to_utf8(line) << std::endl;
}

}  // namespace tessary::cli
