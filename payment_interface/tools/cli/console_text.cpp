#include "cli/console_text.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdarg>
#include <cstddef>
#include <vector>

namespace {

#if defined(_WIN32)
constexpr UINT kGbk = 936;

bool to_wide(UINT from, std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int wide_length =
        MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide_length <= 0) return false;
    wide.assign(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), wide_length);
    return true;
}

bool convert(UINT to, UINT from, std::string_view text, std::string& out) {
    out.clear();
    std::wstring wide;
    if (!to_wide(from, text, wide)) return false;
    if (wide.empty()) return true;
    const int wide_length = static_cast<int>(wide.size());
    const int out_length =
        WideCharToMultiByte(to, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (out_length <= 0) return false;
    out.assign(static_cast<std::size_t>(out_length), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wide_length, out.data(), out_length, nullptr, nullptr);
    return true;
}

// A console takes Unicode; anything else gets the UTF-8 bytes, without a CR before each LF.
void write_text(std::FILE* stream, const std::string& utf8) {
    static const bool binary = [] {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        return true;
    }();
    static_cast<void>(binary);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (GetConsoleMode(handle, &mode) && to_wide(CP_UTF8, utf8, wide)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}
#else
bool convert(const char* to, const char* from, std::string_view text, std::string& out) {
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char* next = out.data();
    std::size_t out_left = out.size();
    const bool done =
        iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(handle);
    out.resize(out.size() - out_left);
    return done;
}

void write_text(std::FILE* stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}
#endif

}  // namespace

#if defined(_WIN32)
bool to_gbk(std::string_view text, std::string& out) {
    out.assign(text);
    return true;
}

bool gbk_to_utf8(std::string_view text, std::string& out) {
    return convert(CP_UTF8, kGbk, text, out);
}

std::string shown_path(const std::string& path) {
    std::string utf8;
    return convert(CP_UTF8, CP_ACP, path, utf8) ? utf8 : shown(path);
}
#else
bool to_gbk(std::string_view text, std::string& out) {
    return convert("CP936", "UTF-8", text, out);
}

bool gbk_to_utf8(std::string_view text, std::string& out) {
    return convert("UTF-8", "CP936", text, out);
}

std::string shown_path(const std::string& path) {
    return path;
}
#endif

std::string shown(std::string_view gbk) {
    std::string text;
    if (gbk_to_utf8(gbk, text)) return text;
    text.clear();
    for (const char c : gbk) text += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return text;
}

void print_to(std::FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measuring;
    va_copy(measuring, args);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length > 0) {
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        write_text(stream, std::string(text.data(), static_cast<std::size_t>(length)));
    }
    va_end(args);
}

void write_raw(std::string_view bytes) {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}
