// Helpers shared by the test suites of every platform: per-test temporary folders, files,
// the environment, the local time and the daily log.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace test_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        for (;;) {
            path_ = std::filesystem::temp_directory_path() /
                    ("vortal-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline void set_environment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void unset_environment(const char* name) {
#if defined(_WIN32)
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

inline std::tm local_time(std::time_t when) {
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &when);
#else
    localtime_r(&when, &parts);
#endif
    return parts;
}

// Runs a program with the arguments and returns its exit code, -1 when it could not run.
inline int run_program(const std::string& program, const std::vector<std::string>& arguments) {
    std::string command = "\"" + program + "\"";
#if defined(_WIN32)
    for (const std::string& argument : arguments) command += " \"" + argument + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
#else
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    const int status = std::system(command.c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
#endif
}

inline void write_file(const std::string& path, std::string_view bytes) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A text file in UTF-16 LE with its byte-order mark.
inline std::string utf16_file(std::u16string_view text) {
    std::string bytes = "\xff\xfe";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

inline std::string read_file(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// The messages of the log entries in a log text, each without its time stamp "【HH-MM-SS】:"
// (GBK brackets) and its CR LF. Bytes that are not an entry end the list as "unreadable: ".
inline std::vector<std::string> log_messages(const std::string& log) {
    static const std::regex kEntry("\xa1\xbe\\d\\d-\\d\\d-\\d\\d\xa1\xbf:([^\r\n]*)\r\n");
    std::vector<std::string> messages;
    std::string rest = log;
    std::smatch match;
    while (std::regex_search(rest, match, kEntry, std::regex_constants::match_continuous)) {
        messages.push_back(match[1]);
        rest = match.suffix();
    }
    if (!rest.empty()) messages.push_back("unreadable: " + rest);
    return messages;
}

// The messages of every log file in the folder, the files taken in date order.
inline std::vector<std::string> log_messages_in(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().extension() == ".log") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::string log;
    for (const auto& file : files) log += read_file(file.string());
    return log_messages(log);
}

}  // namespace test_support
