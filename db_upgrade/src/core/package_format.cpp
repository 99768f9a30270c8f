#include "package_format.h"

#include "text.h"

namespace tessary::package {
namespace {

bool contains(std::string_view text, std::string_view piece) {
    return text.find(piece) != std::string_view::npos;
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
    const char* fault = nullptr;
    if (contains(name, kBodyEnd)) {
        fault = "名称含有标记 ####";
    } else if (contains(name, kBodyHead)) {
        fault = "名称含有标记 ^^^^";
    } else if (!name.empty() && name.back() == '^') {
        fault = "名称以 ^ 结尾，会与其后的标记 ^^^^ 相连";
    } else if (contains(text, kBodyEnd)) {
        fault = "内容含有标记 ####";
    } else if (!text.empty() && text.front() == '#') {
        fault = "内容以 # 开头，倒序后会与其后的标记 #### 相连";
    }
    if (fault == nullptr) return std::nullopt;
    return "脚本 " + std::string(name) + " 的" + fault + "，不能打包";
}

std::string Record::text() const {
    return text::reverse_bytes(body);
}

std::optional<Record> Reader::fail(Problem problem) {
    problem_ = problem;
    return std::nullopt;
}

std::optional<Record> Reader::next() {
    if (finished_ || problem_) return std::nullopt;
    const std::string_view rest = package_.substr(at_);
    if (rest == kPackageEnd) {
        finished_ = true;
        return std::nullopt;
    }
    if (rest.substr(0, kPackageEnd.size()) == kPackageEnd) return fail(Problem::kTrailingBytes);
    if (rest.size() < kPackageEnd.size() && kPackageEnd.substr(0, rest.size()) == rest) {
        return fail(Problem::kCutShort);
    }
    const std::size_t end = rest.find(kBodyEnd);
    if (end == std::string_view::npos) return fail(Problem::kNoBodyEnd);
    const std::string_view whole = rest.substr(0, end);
    if (whole.substr(0, kNameHead.size()) != kNameHead) return fail(Problem::kNoNameHead);
    const std::size_t head = whole.find(kBodyHead, kNameHead.size());
    if (head == std::string_view::npos) return fail(Problem::kNoBodyHead);

    at_ += end + kBodyEnd.size();
    return Record{whole.substr(kNameHead.size(), head - kNameHead.size()),
                  whole.substr(head + kBodyHead.size())};
}

std::string Reader::problem_text() const {
    if (!problem_) return {};
    const std::string byte = std::to_string(at_ + 1);
    switch (*problem_) {
        case Problem::kCutShort:
            if (package_.empty()) return "文件为空，没有结束标记 @@@@";
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
    }
    return {};
}

}  // namespace tessary::package
