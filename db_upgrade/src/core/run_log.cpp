#include "run_log.h"

#include <cstdio>
#include <utility>

#include "failures.h"
#include "text.h"

namespace tessary {
namespace {

enum class Stamp { kDate, kTime, kDateTime };

std::string stamp(const LocalTime& t, Stamp kind) {
    char text[80];  // room for any int in each field
    int length = 0;
    switch (kind) {
        case Stamp::kDate:
            length = std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
            break;
        case Stamp::kTime:
            length = std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
            break;
        case Stamp::kDateTime:
            length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                                   t.month, t.day, t.hour, t.minute, t.second);
            break;
    }
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// Keeps multi-line error texts inside the comment they belong to.
std::string comment_lines(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n') out += "--    ";
    }
    return out;
}

}  // namespace

std::string statement_excerpt(const std::string& statement) {
    constexpr std::size_t kExcerptBytes = 80;
    return text::one_line(text::first_bytes(statement, kExcerptBytes));
}

std::string unexpected_failure_line(const UnexpectedFailure& failure) {
    std::string line = "未预期的错误";
    if (failure.native_error != 0) line += "（" + std::to_string(failure.native_error) + "）";
    return line + "：" + statement_excerpt(failure.statement) + "：" + text::one_line(failure.text);
}

RunLog::RunLog(Transaction& inner, System& system, Ui& ui, std::string path)
    : inner_(inner),
      system_(system),
      ui_(ui),
      path_(std::move(path)),
      file_(system.append_to_file(path_)) {
    write("-- " + stamp(system_.local_time(), Stamp::kDateTime) + " 升级开始\n");
}

std::string RunLog::path_in(System& system, const std::string& directory) {
    return system.join(directory,
                       "tessary-upgrade-" + stamp(system.local_time(), Stamp::kDate) + ".log");
}

RunLog::~RunLog() {
    if (!pending_.empty()) file_->write(pending_);
}

// A failing statement is written out at once, so that it is on disk whatever happens next;
// the rest goes out in pieces and at the end: a write per statement would cost an upgrade on
// a near server about a tenth of its time. A failing write shows in the closing summary;
// the run goes on.
void RunLog::write(const std::string& lines, bool at_once) {
    constexpr std::size_t kPiece = 8192;
    pending_ += lines;
    if (!at_once && pending_.size() < kPiece) return;
    file_->write(pending_);
    pending_.clear();
}

void RunLog::take_status() {
    set_status(inner_.sqlcode(), inner_.sqlerrtext(), inner_.sqldbcode(), inner_.link_lost());
}

// `expectation` ("expected", "unexpected" or nullptr) qualifies a failed statement.
std::string RunLog::outcome(const char* expectation) const {
    if (sqlcode() == kSuccess) return "ok";
    if (sqlcode() == kNotFound) return "ok, no row";
    std::string qualifiers;
    if (sqldbcode() != 0) qualifiers = "database error " + std::to_string(sqldbcode());
    if (expectation != nullptr) {
        qualifiers += (qualifiers.empty() ? "" : ", ") + std::string(expectation);
    }
    if (link_lost())
        qualifiers += (qualifiers.empty() ? "" : ", ") + std::string("connection lost");
    std::string code = "error " + std::to_string(sqlcode());
    if (!qualifiers.empty()) code += " (" + qualifiers + ")";
    return code + ": " + comment_lines(sqlerrtext());
}

void RunLog::begin_database(const std::string& name) {
    database_ = name;
    write("-- database " + name + '\n');
}

void RunLog::note(const std::string& line) {
    write("-- " + comment_lines(line) + '\n', true);
}

void RunLog::record_statement(const std::string& statement) {
    ++counts_.sent;
    const char* expectation = nullptr;
    const bool failed = sqlcode() != kSuccess && sqlcode() != kNotFound;
    const bool unexpected = failed && expected_failure(sqldbcode()) == nullptr;
    if (failed) {
        ++counts_.failed;
        expectation = unexpected ? "unexpected" : "expected";
        if (unexpected) {
            counts_.unexpected.push_back({database_, statement, sqldbcode(), sqlerrtext()});
        } else {
            ++counts_.expected[sqldbcode()];
        }
    }
    write("-- " + stamp(system_.local_time(), Stamp::kTime) + " statement " +
              std::to_string(counts_.sent) + '\n' + statement + "\n-- " + outcome(expectation) +
              '\n',
          failed);
    if (unexpected) ui_.insert_progress_line(unexpected_failure_line(counts_.unexpected.back()));
    end_if_link_lost();
}

void RunLog::record_operation(const char* name) {
    write(std::string("-- ") + name + ": " + outcome(nullptr) + '\n', link_lost());
    end_if_link_lost();
}

void RunLog::end_if_link_lost() const {
    if (link_lost()) throw ConnectionLost(database_, sqlerrtext());
}

void RunLog::connect() {
    inner_.connect();
    take_status();
    record_operation("connect");
}

void RunLog::disconnect() {
    inner_.disconnect();
    take_status();
    record_operation("disconnect");
}

void RunLog::execute_immediate(const std::string& statement) {
    inner_.execute_immediate(statement);
    take_status();
    record_statement(statement);
}

void RunLog::select_into(const std::string& statement, std::optional<std::string>& into) {
    inner_.select_into(statement, into);
    take_status();
    record_statement(statement);
}

void RunLog::commit() {
    inner_.commit();
    take_status();
    record_operation("commit");
}

void RunLog::rollback() {
    inner_.rollback();
    take_status();
    record_operation("rollback");
}

void RunLog::set_autocommit(bool on) {
    inner_.set_autocommit(on);
    take_status();
    record_operation(on ? "autocommit on" : "autocommit off");
}

std::string RunLog::finish() {
    std::size_t expected = 0;
    for (const auto& entry : counts_.expected) expected += entry.second;
    const std::string counts = "升级结束：发送语句 " + std::to_string(counts_.sent) + " 条，成功 " +
                               std::to_string(counts_.sent - counts_.failed) + " 条，失败 " +
                               std::to_string(counts_.failed) + " 条（预期的 " +
                               std::to_string(expected) + " 条，未预期的 " +
                               std::to_string(counts_.unexpected.size()) + " 条）";
    write("-- " + stamp(system_.local_time(), Stamp::kDateTime) + ' ' + counts + '\n', true);
    if (!file_->finish()) return counts + "；日志无法写入 " + path_;
    return counts + "；日志 " + path_;
}

}  // namespace tessary
