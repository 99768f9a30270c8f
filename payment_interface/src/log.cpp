#include "log.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "gbk_text.h"
#include "platform/platform.h"

namespace vortal {

namespace {

constexpr char kBoxServiceKey[] = "SOFTWARE\\Varnix";
constexpr char kLogFolderName[] = "log";
constexpr std::size_t kLongestDebugText = 65535;

// The bytes that a text-mode stream of the Windows runtime writes.
std::string with_crlf(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}

}  // namespace

std::string log_directory() {
    char folder[kPathSize];
    if (box_service_folder(folder)) {
        return std::string(folder) + platform::kPathSeparator + kLogFolderName;
    }
    std::string program;
    if (platform::executable_path(program)) {
        const std::size_t separator = gbk::rfind(program, platform::kPathSeparator);
        if (separator != gbk::npos) {
            return program.substr(0, separator + 1) + kLogFolderName;
        }
    }
    return kLogFolderName;
}

// Single failures (a drive name, a directory that is already there) do not matter. The walk
// goes by character: the trail byte of 淺 (9C 5C) is no separator.
void make_directories(const std::string& directory) {
    if (platform::is_directory(directory.c_str())) return;
    for (std::size_t at = gbk::find(directory, platform::kPathSeparator, 1); at != gbk::npos;
         at = gbk::find(directory, platform::kPathSeparator, at + 1)) {
        platform::create_directory(directory.substr(0, at).c_str());
    }
    platform::create_directory(directory.c_str());
}

bool format_text(std::string& text, std::size_t max_length, const char* format, va_list args) {
    va_list measuring;
    va_copy(measuring, args);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0 || static_cast<std::size_t>(length) > max_length) return false;
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<std::size_t>(length));
    return true;
}

bool box_service_folder(char (&dest)[kPathSize]) {
    return platform::local_machine_string(kBoxServiceKey, "Path", dest, sizeof dest) &&
           dest[0] != '\0';
}

void write_log(const char* format, ...) {
    std::string message;
    va_list args;
    va_start(args, format);
    const bool formatted = format_text(message, std::numeric_limits<int>::max(), format, args);
    va_end(args);
    if (!formatted) return;

    const platform::LocalTime now = platform::local_time();
    const std::string directory = log_directory();
    char file_name[32];
    format_bounded(file_name, sizeof file_name, "%d-%02d-%02d.log", now.year, now.month, now.day);
    const std::string path = directory + platform::kPathSeparator + file_name;
    if (path.size() >= kPathSize) return;
    make_directories(directory);

    char stamp[32];
    format_bounded(stamp, sizeof stamp, "【%02d-%02d-%02d】:", now.hour, now.minute, now.second);
    platform::OutputFile file;
    if (file.open_for_append(path.c_str())) file.write(with_crlf(stamp + message));
}

void debug_trace(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    const bool formatted = format_text(text, kLongestDebugText, format, args);
    va_end(args);
    if (formatted) platform::debug_output(text.c_str());
}

}  // namespace vortal
