#include "journal.h"

#include <algorithm>
#include <cstring>

#include "log.h"
#include "messages.h"
#include "request_parser.h"

namespace vortal {

namespace {

// A journal begun before "message" was written has the column names without it; its
// lines, and the lines appended to it since, are read all the same.
constexpr std::string_view kColumnNames =
    "time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode\tmessage";
constexpr std::string_view kColumnNamesWithoutMessage =
    "time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode";
constexpr std::size_t kColumnCount = 9;
constexpr std::size_t kShownPaymentDigits = 4;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kMessageWidth = sizeof(TransResult::message) - 1;

// A tab or a line end inside a value would shift the columns or split the line.
std::string column(std::string_view value) {
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text;
}

// A code too short to keep anything back is hidden whole.
std::string masked_payment_code(std::string_view code) {
    if (code.size() <= kShownPaymentDigits) return std::string(code.size(), '*');
    const std::size_t hidden = code.size() - kShownPaymentDigits;
    return std::string(hidden, '*') + std::string(code.substr(hidden));
}

std::string time_text(const platform::LocalTime& now) {
    char text[32];
    format_bounded(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day,
                   now.hour, now.minute, now.second);
    return text;
}

std::optional<JournalLine> read_line(std::string_view line) {
    std::vector<std::string> columns;
    for (;;) {
        const std::size_t tab = line.find('\t');
        columns.emplace_back(line.substr(0, tab));
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
    }
    if (columns.size() == kColumnCount - 1) columns.emplace_back();
    if (columns.size() != kColumnCount) return std::nullopt;
    JournalLine read{columns[0], columns[1], columns[2], columns[3], columns[4],
                     columns[5], columns[6], columns[7], columns[8]};
    if (read.event != kJournalSent && read.event != kJournalEnded) return std::nullopt;
    return read;
}

}  // namespace

std::string journal_file_name(int year, int month, int day) {
    char name[48];
    format_bounded(name, sizeof name, "payments-%d-%02d-%02d.txt", year, month, day);
    return name;
}

JournalEntry::JournalEntry(const TransRequest& request, const TransResult& result)
    : result_(result) {
    const platform::LocalTime now = platform::local_time();
    directory_ = log_directory();
    path_ = directory_ + platform::kPathSeparator + journal_file_name(now.year, now.month, now.day);
    order_ = std::string(operation_token(request.operation)) + '\t' + column(request.request_id) +
             '\t' + column(request.amount);
    payment_code_ = masked_payment_code(column(request.auth_code));
    write(now, kJournalSent, Outcome{}, true);
}

JournalEntry::~JournalEntry() {
    try {
        // The message as the till reads it from its field: an address that runs on beyond the
        // field is left out there.
        const Outcome outcome{
            result_.code, result_.status,
            std::string_view(result_.message, strnlen(result_.message, kMessageWidth))};
        write(platform::local_time(), kJournalEnded, outcome, false);
    } catch (...) {
        platform::debug_output(msg::kInternalError);
    }
}

void JournalEntry::write(const platform::LocalTime& now, std::string_view event,
                         const Outcome& outcome, bool durable) const {
    const std::string line = time_text(now) + '\t' + order_ + '\t' + std::string(event) + '\t' +
                             column(outcome.code) + '\t' + column(outcome.status) + '\t' +
                             payment_code_ + '\t' + column(outcome.message) + std::string(kLineEnd);
    if (!append(line, durable)) debug_trace(msg::kJournalNotWritten, path_.c_str());
}

// One write per line under the exclusive append of the log, so that lines never mix; a new
// file gets the column names in the same write.
bool JournalEntry::append(const std::string& line, bool durable) const {
    if (path_.size() >= kPathSize) return false;
    make_directories(directory_);
    platform::OutputFile file;
    if (!file.open_for_append(path_.c_str())) return false;
    const bool new_file = file.empty();
    if (!file.write(new_file ? std::string(kColumnNames) + std::string(kLineEnd) + line : line)) {
        return false;
    }
    if (!durable) return true;
    return file.flush_to_disk() && (!new_file || platform::flush_directory(directory_.c_str()));
}

std::optional<JournalText> read_journal(std::string_view text) {
    JournalText journal;
    if (text.empty()) return journal;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find(kLineEnd);
        // Every line is written whole with its line end: a last line without one was cut.
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + kLineEnd.size());
        if (first) {
            if ((line != kColumnNames && line != kColumnNamesWithoutMessage) ||
                end == std::string_view::npos) {
                return std::nullopt;
            }
            first = false;
            continue;
        }
        const std::optional<JournalLine> read =
            end == std::string_view::npos ? std::nullopt : read_line(line);
        if (read) {
            journal.lines.push_back(*read);
        } else {
            ++journal.unreadable;
        }
    }
    return journal;
}

}  // namespace vortal
