#include "files.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "text.h"

namespace tessary::files {
namespace {

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

}  // namespace

Result<std::vector<std::string>> list_files(System& system, const std::string& folder,
                                            std::string_view mask) {
    auto listed = system.plain_files(folder);
    if (!listed) return listed;

    const std::string wanted = text::lower(mask);
    std::vector<std::pair<std::string, std::string>> found;  // (name in lower case, name)
    for (std::string& name : *listed) {
        std::string key = text::lower(name);
        if (matches(wanted, key)) found.emplace_back(std::move(key), std::move(name));
    }
    // Names that differ in letter case alone (possible outside Windows) keep a fixed order.
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return {std::move(names), {}};
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        if (end > start && text[end - 1] == '\r') --end;
        lines.emplace_back(text, start, end - start);
        start = next;
    }
    return lines;
}

Result<std::vector<std::string>> read_lines(System& system, const std::string& path) {
    const auto content = system.read_file(path);
    if (!content) return Result<std::vector<std::string>>::failure(content.error);
    return {split_lines(*content), {}};
}

bool BytesReader::read(std::uint64_t offset, std::size_t count, char* into) {
    if (offset > bytes_.size() || count > bytes_.size() - offset) {
        error_ = "read beyond the end";
        return false;
    }
    bytes_.copy(into, count, static_cast<std::size_t>(offset));
    return true;
}

bool append_bytes(FileReader& file, std::uint64_t offset, std::uint64_t count, std::string& out) {
    const std::size_t kept = out.size();
    if (count > out.max_size() - kept) throw std::length_error("脚本太大，不能读入内存");
    out.resize(kept + static_cast<std::size_t>(count));
    if (count == 0 || file.read(offset, static_cast<std::size_t>(count), &out[kept])) return true;
    out.resize(kept);
    return false;
}

std::string write_file(System& system, const std::string& path, std::string_view bytes) {
    const auto file = system.replace_file(path);
    if (file->write(bytes) && file->finish()) return {};
    return file->error();
}

std::string write_file(System& system, const std::string& path, FileReader& source) {
    const auto file = system.replace_file(path);
    bool written = true;
    const bool read = for_each_piece(
        source, 0, source.size(),
        [&](std::string_view piece, std::uint64_t) { return written = file->write(piece); });
    if (!read) return source.error().empty() ? "read error" : source.error();
    if (written && file->finish()) return {};
    return file->error();
}

}  // namespace tessary::files
