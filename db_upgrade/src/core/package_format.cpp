#include "package_format.h"

#include <algorithm>

#include "files.h"

namespace tessary::package {
namespace {

bool contains(std::string_view text, std::string_view piece) {
    return text.find(piece) != std::string_view::npos;
}

const char* name_fault(std::string_view name) {
    if (contains(name, kBodyEnd)) return "名称含有标记 ####";
    if (contains(name, kBodyHead)) return "名称含有标记 ^^^^";
    if (!name.empty() && name.back() == '^') return "名称以 ^ 结尾，会与其后的标记 ^^^^ 相连";
    return nullptr;
}

const char* const kTextHoldsBodyEnd = "内容含有标记 ####";
const char* const kTextStartsWithHash = "内容以 # 开头，倒序后会与其后的标记 #### 相连";

std::string problem(std::string_view name, const char* fault) {
    return "脚本 " + std::string(name) + " 的" + fault + "，不能打包";
}

}  // namespace

std::string record(std::string_view name, std::string_view text) {
    std::string out;
    out.reserve(kNameHead.size() + name.size() + kBodyHead.size() + text.size() + kBodyEnd.size());
    out.append(kNameHead).append(name).append(kBodyHead);
    out.append(text.rbegin(), text.rend());
    out.append(kBodyEnd);
    return out;
}

std::optional<std::string> record_problem(std::string_view name, std::string_view text) {
    const char* fault = name_fault(name);
    if (fault == nullptr && contains(text, kBodyEnd)) fault = kTextHoldsBodyEnd;
    if (fault == nullptr && !text.empty() && text.front() == '#') fault = kTextStartsWithHash;
    if (fault == nullptr) return std::nullopt;
    return problem(name, fault);
}

std::optional<std::string> write_record(std::string_view name, FileReader& text, FileWriter& out) {
    if (const char* fault = name_fault(name)) return problem(name, fault);
    std::string head(kNameHead);
    head.append(name).append(kBodyHead);
    if (!out.write(head)) return std::nullopt;

    // The text goes out from its end, a piece at a time, each piece reversed; the last three
    // bytes of the piece before are kept to find a marker across two pieces.
    std::string piece, seen;
    for (std::uint64_t back = text.size(); back > 0;) {
        const std::uint64_t count = std::min<std::uint64_t>(files::kPiece, back);
        back -= count;
        piece.clear();
        if (!files::append_bytes(text, back, count, piece)) {
            return "不能读取脚本 " + std::string(name) + "：" + text.error();
        }
        std::reverse(piece.begin(), piece.end());
        seen.append(piece);
        if (contains(seen, kBodyEnd)) return problem(name, kTextHoldsBodyEnd);
        seen.erase(0, seen.size() - std::min<std::size_t>(seen.size(), kBodyEnd.size() - 1));
        if (!out.write(piece)) return std::nullopt;
    }
    if (!seen.empty() && seen.back() == '#') return problem(name, kTextStartsWithHash);
    out.write(kBodyEnd);
    return std::nullopt;
}

bool RecordText::read(std::uint64_t offset, std::size_t count, char* into) {
    if (offset > record_.size || count > record_.size - offset) return false;
    if (!package_.read(record_.body_at + record_.size - offset - count, count, into)) return false;
    std::reverse(into, into + count);
    return true;
}

std::optional<std::string> record_text(FileReader& package, const Record& record) {
    RecordText text(package, record);
    std::string bytes;
    if (!files::append_bytes(text, 0, record.size, bytes)) return std::nullopt;
    return bytes;
}

std::optional<Record> Reader::fail(Problem problem) {
    problem_ = problem;
    return std::nullopt;
}

bool Reader::take(std::uint64_t at, std::uint64_t count, std::string& out) {
    if (at >= buffer_at_ && at - buffer_at_ + count <= buffer_.size()) {
        out.append(buffer_, static_cast<std::size_t>(at - buffer_at_),
                   static_cast<std::size_t>(count));
        return true;
    }
    return files::append_bytes(package_, at, count, out);
}

bool Reader::read_more(std::uint64_t keep_from) {
    const std::uint64_t drop = std::min<std::uint64_t>(
        keep_from > buffer_at_ ? keep_from - buffer_at_ : 0, buffer_.size());
    buffer_.erase(0, static_cast<std::size_t>(drop));
    buffer_at_ += drop;
    const std::uint64_t next = buffer_at_ + buffer_.size();
    if (next >= package_.size()) return false;
    if (files::append_bytes(package_, next,
                            std::min<std::uint64_t>(files::kPiece, package_.size() - next),
                            buffer_)) {
        return true;
    }
    problem_ = Problem::kUnreadable;
    return false;
}

std::optional<Record> Reader::next() {
    if (finished_ || problem_) return std::nullopt;
    const std::uint64_t rest = package_.size() - at_;
    std::string head;
    if (!take(at_, std::min<std::uint64_t>(rest, kNameHead.size()), head)) {
        return fail(Problem::kUnreadable);
    }
    if (rest == kPackageEnd.size() && head == kPackageEnd) {
        finished_ = true;
        return std::nullopt;
    }
    if (rest < kPackageEnd.size() && kPackageEnd.substr(0, head.size()) == head) {
        return fail(Problem::kCutShort);
    }
    if (head.compare(0, kPackageEnd.size(), kPackageEnd) == 0) {
        return fail(Problem::kTrailingBytes);
    }

    // The record ends at the first "####"; its name, at the first "^^^^" after the name head.
    // Markers may lie across two pieces, so each search goes on from the last three bytes.
    std::uint64_t search_from = at_;
    std::optional<std::uint64_t> body_head;
    std::optional<std::uint64_t> end;
    while (!end) {
        const std::string_view held(buffer_);
        if (!body_head) {
            const std::uint64_t from = std::max(at_ + kNameHead.size(), buffer_at_);
            const std::size_t found =
                from - buffer_at_ <= held.size()
                    ? held.find(kBodyHead, static_cast<std::size_t>(from - buffer_at_))
                    : std::string_view::npos;
            if (found != std::string_view::npos) body_head = buffer_at_ + found;
        }
        const std::size_t found =
            search_from - buffer_at_ <= held.size()
                ? held.find(kBodyEnd, static_cast<std::size_t>(search_from - buffer_at_))
                : std::string_view::npos;
        if (found != std::string_view::npos) {
            end = buffer_at_ + found;
            break;
        }
        search_from = std::max(at_, buffer_at_ + held.size() -
                                        std::min<std::size_t>(held.size(), kBodyEnd.size() - 1));
        if (!read_more(search_from)) return fail(problem_ ? *problem_ : Problem::kNoBodyEnd);
    }
    if (head != kNameHead) return fail(Problem::kNoNameHead);
    if (!body_head || *body_head > *end) return fail(Problem::kNoBodyHead);

    Record record;
    const std::uint64_t name_at = at_ + kNameHead.size();
    if (!take(name_at, *body_head - name_at, record.name)) return fail(Problem::kUnreadable);
    record.body_at = *body_head + kBodyHead.size();
    record.size = *end - record.body_at;
    at_ = *end + kBodyEnd.size();
    return record;
}

std::string Reader::problem_text() const {
    if (!problem_) return {};
    const std::string byte = std::to_string(at_ + 1);
    switch (*problem_) {
        case Problem::kCutShort:
            if (package_.size() == 0) return "文件为空，没有结束标记 @@@@";
            return "文件在第 " + std::to_string(package_.size()) + " 字节后中断，缺少结束标记 @@@@";
        case Problem::kTrailingBytes:
            return "结束标记 @@@@ 之后还有 " +
                   std::to_string(package_.size() - at_ - kPackageEnd.size()) + " 字节";
        case Problem::kNoNameHead:
            return "第 " + byte + " 字节处不是记录的开始标记 $$$$$$";
        case Problem::kNoBodyHead:
            return "从第 " + byte + " 字节起的记录没有标记 ^^^^";
        case Problem::kNoBodyEnd:
            return "从第 " + byte + " 字节起的记录没有结束标记 ####（文件不完整或已被改动）";
        case Problem::kUnreadable:
            return "从第 " + byte + " 字节起的记录不能读取：" + package_.error();
    }
    return {};
}

}  // namespace tessary::package
