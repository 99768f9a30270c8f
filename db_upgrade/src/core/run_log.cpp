#include "run_log.h"

#include <ctime>
#include <utility>

#include "window.h"

namespace tessary {
namespace {

std::tm local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

enum class Stamp { kDate, kTime, kDateTime };

std::string now(Stamp stamp) {
    const std::tm local = local_now();
    char text[32];
    std::size_t length = 0;
    switch (stamp) {
        case Stamp::kDate:
            length = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
            break;
        case Stamp::kTime:
            length = std::strftime(text, sizeof text, "%H:%M:%S", &local);
            break;
        case Stamp::kDateTime:
            length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
            break;
    }
    return std::string(text, length);
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

RunLog::RunLog(Transaction& inner, std::string path)
    : inner_(inner), path_(std::move(path)), file_(path_, std::ios::binary | std::ios::app) {
    if (file_) file_ << "-- " << now(Stamp::kDateTime) << " 升级开始\n" << std::flush;
}

std::string RunLog::path_in(const std::string& directory) {
    return directory + kPathSeparator + "tessary-upgrade-" + now(Stamp::kDate) + ".log";
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

// A failing statement is written out at once, so that it is on disk whatever happens next;
// the rest goes out as the buffer fills and at the end. A write per statement would cost an
// upgrade on a near server about a tenth of its time.
void RunLog::record_statement(const std::string& statement) {
    ++sent_;
    const bool failed = sqlcode() != kSuccess && sqlcode() != kNotFound;
    if (failed) ++failed_;
    if (!file_) return;
    file_ << "-- " << now(Stamp::kTime) << " statement " << sent_ << '\n'
          << statement << "\n-- " << outcome() << '\n';
    if (failed) file_.flush();
}

void RunLog::record_operation(const char* name) {
    if (file_) file_ << "-- " << name << ": " << outcome() << '\n';
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
    if (!file_) return counts + "；日志无法写入 " + path_;
    file_ << "-- " << now(Stamp::kDateTime) << ' ' << counts << '\n';
    file_.close();
    return counts + "；日志 " + path_;
}

}  // namespace tessary
