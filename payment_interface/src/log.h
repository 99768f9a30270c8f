// The library's two diagnostic channels besides the fixed debugger texts: the daily log file
// of the box-service operations and formatted debugger output.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#include "records.h"

namespace vortal {

inline constexpr std::size_t kPathSize = 260;  // a path and its NUL

// The box service's installation directory, the registry value "Path" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Varnix. False, with dest empty, when it cannot be read or is
// empty.
bool box_service_folder(char (&dest)[kPathSize]);

// The folder of the daily log and of the payment journal: "log" under the box service's
// installation directory, else beside the host program, else under the current directory.
std::string log_directory();

// Creates each missing directory along the path.
void make_directories(const std::string& directory);

// Appends one entry to the day's log file: the local time "【HH-MM-SS】:" and the message,
// each line feed written as CR LF. The file "YYYY-MM-DD.log" lies in "log" under the box
// service's installation directory, or beside the host program when that is not known;
// missing directories are created. An entry that cannot be written, or whose file path would
// not fit 259 bytes, is dropped without a word.
void write_log(const char* format, ...) VORTAL_PRINTF_FORMAT(1, 2);

// Formats a text for the debugger output. A text longer than 65535 bytes is not output.
void debug_trace(const char* format, ...) VORTAL_PRINTF_FORMAT(1, 2);

// vsnprintf into text, whatever its length up to max_length bytes; false when the format
// fails or the text would be longer.
bool format_text(std::string& text, std::size_t max_length, const char* format, va_list args)
    VORTAL_PRINTF_FORMAT(3, 0);

}  // namespace vortal
