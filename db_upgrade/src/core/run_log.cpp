#include "run_log.h"

#include <cstdio>
#include <utility>

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

RunLog::RunLog(Transaction& inner, System& system, std::string path)
    : inner_(inner), system_(system), path_(std::move(path)), file_(system.append_to_file(path_)) {
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
    set_status(inner_.sqlcode(), inner_.sqlerrtext(), inner_.sqldbcode());
}

std::string RunLog::outcome() const {
    if (sqlcode() == kSuccess) return "ok";
    if (sqlcode() == kNotFound) return "ok, no row";
    std::string code = "error " + std::to_string(sqlcode());
    if (sqldbcode() != 0) code += " (database error " + std::to_string(sqldbcode()) + ")";
    return code + ": " + comment_lines(sqlerrtext());
}

void RunLog::record_statement(const std::string& statement) {
    ++sent_;
    const bool failed = sqlcode() != kSuccess && sqlcode() != kNotFound;
    if (failed) ++failed_;
    write("-- " + stamp(system_.local_time(), Stamp::kTime) + " statement " +
              std::to_string(sent_) + '\n' + statement + "\n-- " + outcome() + '\n',
          failed);
}

void RunLog::record_operation(const char* name) {
    write(std::string("-- ") + name + ": " + outcome() + '\n');
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
    const std::string counts = "升级结束：发送语句 " + std::to_string(sent_) + " 条，成功 " +
                               std::to_string(sent_ - failed_) + " 条，失败 " +
                               std::to_string(failed_) + " 条";
    write("-- " + stamp(system_.local_time(), Stamp::kDateTime) + ' ' + counts + '\n', true);
    if (!file_->finish()) return counts + "；日志无法写入 " + path_;
    return counts + "；日志 " + path_;
}

}  // namespace tessary
