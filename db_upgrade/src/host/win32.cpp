#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <vector>

#include "host.h"

namespace tessary::host {
namespace {

constexpr UINT kGbkCodePage = 936;

// The length of the character that starts at `at`, as far as the text goes.
std::size_t character_length(std::string_view text, std::size_t at, UINT code_page) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (code_page == CP_UTF8) {
        length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    } else if (IsDBCSLeadByteEx(code_page, lead)) {
        length = 2;
    }
    return std::min(length, text.size() - at);
}

// Narrow text of `code_page` as UTF-16. A sequence that does not convert becomes one '?',
// and the conversion goes on after its first byte (UTF-8: after the whole character), as
// iconv is driven on POSIX.
std::wstring to_wide(std::string_view text, UINT code_page) {
    std::wstring wide;
    if (text.empty()) return wide;
    const int length = static_cast<int>(text.size());
    const int whole =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (whole > 0) {
        wide.resize(static_cast<std::size_t>(whole));
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                            whole);
        return wide;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t taken = character_length(text, at, code_page);
        wchar_t units[2];
        const int converted = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data() + at,
                                                  static_cast<int>(taken), units, 2);
        if (converted > 0) {
            wide.append(units, static_cast<std::size_t>(converted));
            at += taken;
            continue;
        }
        wide += L'?';
        ++at;
        while (code_page == CP_UTF8 && at < text.size() &&
               (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return wide;
}

// UTF-16 as narrow text of `code_page`. GBK holds nothing beyond the 16-bit range, and
// Windows would make one '?' of each half of a surrogate pair: such a character becomes
// one '?', as on POSIX.
std::string from_wide(std::wstring wide, UINT code_page) {
    if (code_page != CP_UTF8) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < wide.size(); ++i) {
            const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() &&
                              wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
            wide[kept++] = pair ? L'?' : wide[i];
            if (pair) ++i;
        }
        wide.resize(kept);
    }
    if (wide.empty()) return {};
    const int wide_length = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(code_page, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), wide_length, out.data(), length, nullptr,
                        nullptr);
    return out;
}

}  // namespace

std::optional<std::string> HostSystem::registry_string(const std::string& key,
                                                       const std::string& value) {
    // The store software is a 32-bit program and keeps its values in the 32-bit view of
    // the registry; a 64-bit build of this program reads the same view.
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // REG_SZ, or REG_EXPAND_SZ with its environment variables expanded; the value may grow
    // between asking for its size and reading it.
    std::optional<std::string> result;
    std::vector<char> data(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status = RegGetValueA(opened, nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr,
                                            data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + 1);
            continue;
        }
        if (status == ERROR_SUCCESS) result = std::string(data.data());
        break;
    }
    RegCloseKey(opened);
    return result;
}

std::string HostSystem::current_directory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
        if (length == 0) return {};
        // A length beyond the buffer is the size it needs, with the terminating NUL.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

std::optional<std::string> HostSystem::too_long_to_replace(const std::string& path) {
    // Files are opened and renamed by paths of at most MAX_PATH - 1 UTF-16 code units, counted
    // from the drive; a GBK character is one of them.
    std::error_code unknown;  // an absolute path that cannot be made is left to the write
    const std::size_t whole =
        std::filesystem::absolute(file_system_path(path), unknown).native().size() +
        kTemporarySuffixLength;
    if (whole < MAX_PATH) return std::nullopt;
    return "路径连同写入时的临时后缀共 " + std::to_string(whole) +
           " 个字符，超过了 Windows 的上限 " + std::to_string(MAX_PATH - 1);
}

std::string HostSystem::maintainers_script_folder() {
    return "e:\\G\\korvane\\sql\\pr_tr\\";
}

// The file names of the A functions are in the ANSI code page; the C++ library would take
// narrow text as neither that nor give it back so.
std::filesystem::path file_system_path(const std::string& path) {
    return std::filesystem::path(to_wide(path, CP_ACP));
}
std::string narrow_path(const std::filesystem::path& path) {
    return from_wide(path.wstring(), CP_ACP);
}

std::string gbk_to_utf8(std::string_view gbk) {
    return from_wide(to_wide(gbk, kGbkCodePage), CP_UTF8);
}
std::string utf8_to_gbk(std::string_view utf8) {
    return from_wide(to_wide(utf8, CP_UTF8), kGbkCodePage);
}
std::wstring gbk_to_utf16(std::string_view gbk) {
    return to_wide(gbk, kGbkCodePage);
}

std::string system_text_to_utf8(std::string_view text) {
    return from_wide(to_wide(text, CP_ACP), CP_UTF8);
}

namespace {

// What the program prints, UTF-8, handed to a console as UTF-16 (WriteConsoleW): it shows
// right whatever the console's code page, and the console is left as it was. Whole lines go
// out, and a character is never split between two writes.
class ConsoleBuffer : public std::streambuf {
  public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n') write_pending();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (pending_.find('\n') != std::string::npos) write_pending();
        return count;
    }
    int sync() override {
        write_pending();
        return 0;
    }

  private:
    void write_pending() {
        std::size_t whole = 0;
        while (whole < pending_.size()) {
            const std::size_t length = character_length(pending_, whole, CP_UTF8);
            const auto lead = static_cast<unsigned char>(pending_[whole]);
            const std::size_t wanted = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            if (length < wanted) break;  // the rest of the character is still to come
            whole += length;
        }
        const std::wstring wide = to_wide(std::string_view(pending_).substr(0, whole), CP_UTF8);
        DWORD written = 0;
        WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        pending_.erase(0, whole);
    }

    HANDLE console_;
    std::string pending_;
};

void use_console_for(std::ostream& stream, FILE* file, DWORD handle_name) {
    HANDLE handle = GetStdHandle(handle_name);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        stream.flush();
        // Never freed: the stream may write until the very end of the process.
        stream.rdbuf(new ConsoleBuffer(handle));
    } else {
        // Text mode would put a CR before every LF, also inside statements that hold CR LF.
        _setmode(_fileno(file), _O_BINARY);
    }
}

}  // namespace

void use_utf8_console() {
    use_console_for(std::cout, stdout, STD_OUTPUT_HANDLE);
    use_console_for(std::cerr, stderr, STD_ERROR_HANDLE);
}

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace tessary::host
