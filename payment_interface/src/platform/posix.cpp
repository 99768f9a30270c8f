// POSIX implementation of the platform layer: clock, debugger output, the library's own
// path and text conversion. Profile reads and HTTP have files of their own.
#include <dlfcn.h>
#include <iconv.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "records.h"

namespace vortal::platform {

namespace {

constexpr std::string_view kLibraryFileName = "libvortal.so";

// One conversion descriptor per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return handle_;
    }

private:
    iconv_t handle_;
};

constexpr std::size_t kUtf16Capacity = 4 * kMaxInputLength + 8;

// Invalid UTF-8 becomes U+FFFD, as the Windows conversion does without its strict flag.
std::size_t utf8_to_utf16(std::string_view utf8, char* out, std::size_t capacity) {
    thread_local Converter converter("UTF-16LE", "UTF-8");
    if (!converter.valid()) return 0;
    iconv_t handle = converter.get();
    char* in = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    char* next = out;
    std::size_t out_left = capacity;
    while (in_left > 0) {
        if (iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || out_left < 2) return 0;
        *next++ = static_cast<char>(0xFD);
        *next++ = static_cast<char>(0xFF);
        out_left -= 2;
        ++in;
        --in_left;
    }
    return capacity - out_left;
}

}  // namespace

LocalTime local_time() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

std::uint32_t tick_count_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                    static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void debug_output(const char* text) {
    const char* enabled = std::getenv("VORTAL_DEBUG");
    if (enabled == nullptr || std::strcmp(enabled, "1") != 0) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

ModuleLookup own_module_folder(char* dest, std::size_t size) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_module_folder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return ModuleLookup::not_loaded_by_name;
    }
    char full_path[PATH_MAX];
    if (realpath(info.dli_fname, full_path) == nullptr) return ModuleLookup::no_file_name;
    const std::string_view path(full_path);
    const std::size_t slash = path.rfind('/');
    if (path.substr(slash + 1) != kLibraryFileName) return ModuleLookup::not_loaded_by_name;
    copy_bounded(dest, size, path.substr(0, slash + 1));
    return ModuleLookup::found;
}

std::size_t utf8_to_ansi(std::string_view utf8, char* dest, std::size_t size) {
    if (size == 0) return 0;
    dest[0] = '\0';
    if (utf8.empty() || utf8.size() > kMaxInputLength) return 0;

    // ASCII reads the same in both: most answer texts (amounts, times, ids) take this path.
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        if (utf8.size() >= size) return 0;
        std::memcpy(dest, utf8.data(), utf8.size());
        dest[utf8.size()] = '\0';
        return utf8.size();
    }

    char utf16[kUtf16Capacity];
    const std::size_t utf16_length = utf8_to_utf16(utf8, utf16, sizeof utf16);
    if (utf16_length == 0) return 0;

    thread_local Converter converter("CP936", "UTF-16LE");
    if (!converter.valid()) return 0;
    iconv_t handle = converter.get();
    char* in = utf16;
    std::size_t in_left = utf16_length;
    char* next = dest;
    std::size_t out_left = size - 1;  // room for the NUL
    while (in_left > 0) {
        if (iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || out_left == 0) {
            dest[0] = '\0';
            return 0;
        }
        // A character without a GBK form becomes "?", like the Windows default character.
        const auto high = static_cast<unsigned char>(in[1]);
        const std::size_t unit = (high >= 0xD8 && high <= 0xDB && in_left >= 4) ? 4 : 2;
        *next++ = '?';
        --out_left;
        in += unit;
        in_left -= unit < in_left ? unit : in_left;
    }
    *next = '\0';
    return static_cast<std::size_t>(next - dest);
}

}  // namespace vortal::platform
