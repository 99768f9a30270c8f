#include "cli/console_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstddef>

namespace {

#if defined(_WIN32)
constexpr UINT kGbk = 936;

bool convert(UINT to, UINT from, std::string_view text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int wide_length =
        MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide_length <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), wide_length);
    const int out_length =
        WideCharToMultiByte(to, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (out_length <= 0) return false;
    out.assign(static_cast<std::size_t>(out_length), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wide_length, out.data(), out_length, nullptr, nullptr);
    return true;
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
#endif

}  // namespace

#if defined(_WIN32)
bool to_gbk(std::string_view text, std::string& out) {
    out.assign(text);
    return true;
}

bool from_gbk(std::string_view text, std::string& out) {
    out.assign(text);
    return true;
}

bool gbk_to_utf8(std::string_view text, std::string& out) {
    return convert(CP_UTF8, kGbk, text, out);
}
#else
bool to_gbk(std::string_view text, std::string& out) {
    return convert("CP936", "UTF-8", text, out);
}

bool from_gbk(std::string_view text, std::string& out) {
    return convert("UTF-8", "CP936", text, out);
}

bool gbk_to_utf8(std::string_view text, std::string& out) {
    return from_gbk(text, out);
}
#endif
