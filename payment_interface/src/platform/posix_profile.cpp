// INI reads on POSIX with the rules of the Windows profile functions. /etc/korvane stands in
// for the Windows folder, where Windows looks up a bare file name.
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "records.h"

namespace vortal::platform {

namespace {

constexpr std::string_view kSystemFolder = "/etc/korvane/";

std::string resolve(const char* file) {
    const std::string_view name(file);
    if (name.find('/') != std::string_view::npos) return std::string(name);
    return std::string(kSystemFolder) + std::string(name);
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view strip_one_pair_of_quotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The value of key in the first section of that name; nothing when the section or the key
// is missing.
std::optional<std::string> find_value(std::string_view content, std::string_view section,
                                      std::string_view key) {
    bool in_section = false;
    bool section_seen = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (section_seen) return std::nullopt;
            const std::size_t close = line.find(']');
            const std::string_view name = trim(line.substr(1, close == std::string_view::npos
                                                                   ? std::string_view::npos
                                                                   : close - 1));
            in_section = equal_ignoring_ascii_case(name, section);
            section_seen = in_section;
            continue;
        }
        if (!in_section) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (equal_ignoring_ascii_case(trim(line.substr(0, equals)), key)) {
            return std::string(strip_one_pair_of_quotes(trim(line.substr(equals + 1))));
        }
    }
    return std::nullopt;
}

// Decimal with an optional sign, stopping at the first other character; wraps like the
// Windows 32-bit conversion.
int parse_profile_number(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10U + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) value = 0U - value;
    return static_cast<int>(value);
}

}  // namespace

namespace {

// The file as this thread last read it. Every call reads a dozen keys; re-reading the file
// only when it changed keeps the cost of a call at one stat while an edit still shows at the
// very next call.
struct CachedProfile {
    std::string path;
    struct stat identity {};
    std::string content;
};

bool same_version(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool read_whole_file(const std::string& path, std::string& content) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return false;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) content.append(chunk, got);
    const bool complete = std::ferror(stream) == 0;
    std::fclose(stream);
    return complete;
}

}  // namespace

ProfileFile::ProfileFile(const char* file) : path_(resolve(file)) {
    thread_local CachedProfile cached;
    struct stat identity {};
    if (::stat(path_.c_str(), &identity) != 0) return;
    if (cached.path != path_ || !same_version(cached.identity, identity)) {
        cached.path.clear();
        cached.content.clear();
        if (!read_whole_file(path_, cached.content)) return;
        cached.path = path_;
        cached.identity = identity;
    }
    content_ = cached.content;
    readable_ = true;
}

void ProfileFile::text(const char* section, const char* key, const char* fallback, char* dest,
                       std::size_t size) const {
    const std::optional<std::string> value =
        readable_ ? find_value(content_, section, key) : std::nullopt;
    copy_bounded(dest, size, value ? std::string_view(*value) : std::string_view(fallback));
}

int ProfileFile::number(const char* section, const char* key, int fallback) const {
    const std::optional<std::string> value =
        readable_ ? find_value(content_, section, key) : std::nullopt;
    if (!value || value->empty()) return fallback;
    return parse_profile_number(*value);
}

}  // namespace vortal::platform
