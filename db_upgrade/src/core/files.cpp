#include "files.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "text.h"

namespace tessary::files {
namespace fs = std::filesystem;
namespace {

std::string system_reason(int error_number) {
    return std::generic_category().message(error_number);
}

// Wildcard match of `mask` against `name`, both already in one letter case.
bool matches(std::string_view mask, std::string_view name) {
    std::size_t m = 0, n = 0;
    std::size_t star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            resume = n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

bool is_separator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, CloseFile>;

std::string temporary_name_for(const std::string& path) {
    thread_local std::mt19937_64 generator(std::random_device{}());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix;
    for (std::uint64_t bits = generator(); suffix.size() < 16; bits >>= 4) {
        suffix += kDigits[bits & 0xF];
    }
    return path + ".tmp-" + suffix;
}

}  // namespace

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty() || is_separator(folder.back())) return folder + name;
#ifdef _WIN32
    return folder + '\\' + name;
#else
    return folder + '/' + name;
#endif
}

Result<std::vector<std::string>> list_files(const std::string& folder, std::string_view mask) {
    std::error_code error;
    fs::directory_iterator entry(fs::path(folder), error);
    if (error) return Result<std::vector<std::string>>::failure(error.message());

    const std::string wanted = text::lower(mask);
    std::vector<std::pair<std::string, std::string>> found;  // (name in lower case, name)
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code type_error;
        if (!entry->is_regular_file(type_error)) continue;
        std::string name = entry->path().filename().string();
        std::string key = text::lower(name);
        if (matches(wanted, key)) found.emplace_back(std::move(key), std::move(name));
    }
    if (error) return Result<std::vector<std::string>>::failure(error.message());

    // Names that differ in letter case alone (possible outside Windows) keep a fixed order.
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry_name : found) names.push_back(std::move(entry_name.second));
    return {std::move(names), {}};
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::path(path), ignored);
}

Result<std::string> read_file(const std::string& path) {
    errno = 0;
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return Result<std::string>::failure(system_reason(errno));

    std::string bytes;
    std::error_code size_error;
    const auto size = fs::file_size(fs::path(path), size_error);
    if (!size_error) bytes.reserve(static_cast<std::size_t>(size));

    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
    if (std::ferror(file.get())) {
        return Result<std::string>::failure(errno != 0 ? system_reason(errno) : "read error");
    }
    return {std::move(bytes), {}};
}

Result<std::vector<std::string>> read_lines(const std::string& path) {
    auto content = read_file(path);
    if (!content) return Result<std::vector<std::string>>::failure(content.error);

    std::vector<std::string> lines;
    const std::string& bytes = *content;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos) end = bytes.size();
        if (end > start && bytes[end - 1] == '\r') --end;
        lines.emplace_back(bytes, start, end - start);
        start = next;
    }
    return {std::move(lines), {}};
}

ReplacingFile::ReplacingFile(std::string path)
    : path_(std::move(path)), temporary_(temporary_name_for(path_)) {
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) error_ = temporary_ + ": " + system_reason(errno);
}

ReplacingFile::~ReplacingFile() {
    discard();
}

void ReplacingFile::discard() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ignored;
    fs::remove(fs::path(temporary_), ignored);
}

bool ReplacingFile::write(std::string_view bytes) {
    if (file_ == nullptr || !error_.empty()) return false;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        error_ = temporary_ + ": " + system_reason(errno);
        discard();
        return false;
    }
    return true;
}

bool ReplacingFile::commit() {
    if (file_ == nullptr || !error_.empty()) {
        if (error_.empty()) error_ = "already committed";
        return false;
    }
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    const int flush_error = errno;
    if (std::fclose(file_) != 0 || !flushed) {
        file_ = nullptr;
        error_ = temporary_ + ": " + system_reason(flushed ? errno : flush_error);
        std::error_code ignored;
        fs::remove(fs::path(temporary_), ignored);
        return false;
    }
    file_ = nullptr;
    std::error_code rename_error;
    fs::rename(fs::path(temporary_), fs::path(path_), rename_error);
    if (rename_error) {
        error_ = path_ + ": " + rename_error.message();
        std::error_code ignored;
        fs::remove(fs::path(temporary_), ignored);
        return false;
    }
    return true;
}

std::string write_file(const std::string& path, std::string_view bytes) {
    ReplacingFile file(path);
    if (file.write(bytes) && file.commit()) return {};
    return file.error();
}

}  // namespace tessary::files
