#include <iconv.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "host.h"
#include "registry_file.h"

namespace tessary::host {
namespace {

std::string convert(std::string_view text, const char* to, const char* from) {
    const bool from_utf8 = std::string_view(from) == "UTF-8";
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char buffer[1024];
    while (in_left > 0) {
        char* out_pointer = buffer;
        std::size_t out_left = sizeof buffer;
        const std::size_t rc = iconv(converter, &in, &in_left, &out_pointer, &out_left);
        out.append(buffer, sizeof buffer - out_left);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A sequence that does not convert: mark it and go on after it (after one byte
            // of GBK, after the whole character of UTF-8).
            out += '?';
            do {
                ++in;
                --in_left;
            } while (from_utf8 && in_left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
        }
    }
    iconv_close(converter);
    return out;
}

// The bytes of the registry file, or why they cannot be taken for its values (GBK). A file
// in another encoding gives no values at all rather than values misread.
Result<std::string> read_registry_file() {
    const char* named = std::getenv(kRegistryFileVariable);
    const std::string path = named != nullptr && *named != '\0' ? named : kDefaultRegistryFile;
    const std::string shown = utf8_to_gbk(path);  // a file name here is UTF-8
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return Result<std::string>::failure(
            "不能读取注册表文件 " + shown + ": " +
            (errno != 0 ? std::strerror(errno) : "cannot be opened"));
    }
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (auto wrong = registry_file_encoding_problem(content)) {
        return Result<std::string>::failure("注册表文件 " + shown + " " + *wrong +
                                            "，须存为 GBK 文本");
    }
    return {std::move(content), {}};
}

}  // namespace

std::optional<std::string> HostSystem::registry_string(const std::string& key,
                                                       const std::string& value) {
    const auto content = read_registry_file();
    if (!content) return std::nullopt;
    std::istringstream file(*content);
    return find_registry_value(file, "HKEY_LOCAL_MACHINE\\" + key, value);
}

std::string HostSystem::registry_problem() {
    return read_registry_file().error;
}

std::string HostSystem::current_directory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string();
}

std::optional<std::string> HostSystem::too_long_to_replace(const std::string& path) {
    // The system counts bytes: NAME_MAX in one name, PATH_MAX with the ending NUL in a path.
    const auto too_long = [](const char* what, std::size_t bytes, std::size_t longest) {
        return std::string(what) + "连同写入时的临时后缀共 " + std::to_string(bytes) +
               " 字节，超过了本系统的上限 " + std::to_string(longest);
    };
    const std::filesystem::path written(path);
    const std::size_t name = written.filename().native().size() + kTemporarySuffixLength;
    if (name > NAME_MAX) return too_long("名称", name, NAME_MAX);
    std::error_code unknown;  // an absolute path that cannot be made is left to the write
    const std::size_t whole =
        std::filesystem::absolute(written, unknown).native().size() + kTemporarySuffixLength;
    if (whole >= PATH_MAX) return too_long("路径", whole, PATH_MAX - 1);
    return std::nullopt;
}

std::string HostSystem::maintainers_script_folder() {
    return "/srv/korvane/sql/pr_tr/";
}

std::filesystem::path file_system_path(const std::string& path) {
    return std::filesystem::path(path);
}
std::string narrow_path(const std::filesystem::path& path) {
    return path.string();
}

std::string gbk_to_utf8(std::string_view gbk) {
    return convert(gbk, "UTF-8", "GBK");
}
std::string utf8_to_gbk(std::string_view utf8) {
    return convert(utf8, "GBK", "UTF-8");
}

void use_utf8_console() {}

std::string system_text_to_utf8(std::string_view text) {
    return std::string(text);
}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace tessary::host
