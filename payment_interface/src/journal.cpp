#include "journal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

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
// Longer than any line the library writes (its columns come from fields of at most 260 bytes).
constexpr std::size_t kLongestLine = 4096;

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
    recorded_ = write(now, kJournalSent, Outcome{}, true);
    if (!recorded_) debug_trace(msg::kJournalFolderNotWritable, directory_.c_str());
}

JournalEntry::~JournalEntry() {
    if (!recorded_) return;
    try {
        // The message as the till reads it from its field: an address that runs on beyond the
        // field is left out there.
        const Outcome outcome{
            result_.code, result_.status,
            std::string_view(result_.message, strnlen(result_.message, kMessageWidth))};
        if (!write(platform::local_time(), kJournalEnded, outcome, false))
            debug_trace(msg::kJournalNotWritten, path_.c_str());
    } catch (...) {
        platform::debug_output(msg::kInternalError);
    }
}

bool JournalEntry::write(const platform::LocalTime& now, std::string_view event,
                         const Outcome& outcome, bool durable) const {
    const std::string line = time_text(now) + '\t' + order_ + '\t' + std::string(event) + '\t' +
                             column(outcome.code) + '\t' + column(outcome.status) + '\t' +
                             payment_code_ + '\t' + column(outcome.message) + std::string(kLineEnd);
    return append(line, durable);
}

// One write per line under the exclusive append of the log, so that lines never mix; a new
// file gets the column names in the same write, a line left without its end gets it there
// too, under the same lock, so that two writers cannot both end it.
bool JournalEntry::append(const std::string& line, bool durable) const {
    if (path_.size() >= kPathSize) return false;
    make_directories(directory_);
    platform::OutputFile file;
    if (!file.open_for_append(path_.c_str())) return false;
    std::uint64_t size = 0;
    char last = '\n';
    if (!file.size(size) || (size > 0 && !file.last_byte(last))) return false;
    std::string bytes;
    if (size == 0) {
        bytes = std::string(kColumnNames) + std::string(kLineEnd);
    } else if (last != '\n') {
        bytes = kLineEnd;
    }
    if (!file.write(bytes + line)) return false;
    if (!durable) return true;
    return file.flush_to_disk() && (size > 0 || platform::flush_directory(directory_.c_str()));
}

bool not_recorded(TransResult& result) {
    set_outcome(result, "01", msg::kNotRecorded);
    return false;
}

void JournalReader::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        append(bytes.substr(0, end));
        if (end == std::string_view::npos) return;
        bytes.remove_prefix(end + 1);
        // A line ends with CR LF only; a lone line feed is part of it.
        if (ends_with_return_) {
            if (!overlong_) line_.pop_back();
            end_line(true);
        } else {
            append("\n");
        }
    }
}

void JournalReader::finish() {
    if (in_line_) end_line(false);
}

void JournalReader::append(std::string_view piece) {
    if (piece.empty()) return;
    in_line_ = true;
    ends_with_return_ = piece.back() == '\r';
    if (overlong_) return;
    if (line_.size() + piece.size() > kLongestLine) {
        overlong_ = true;
        line_.clear();
        return;
    }
    line_.append(piece);
}

void JournalReader::end_line(bool whole) {
    whole = whole && !overlong_;
    if (expect_ == Expect::column_names) {
        const bool names = line_ == kColumnNames || line_ == kColumnNamesWithoutMessage;
        expect_ = whole && names ? Expect::lines : Expect::nothing;
    } else if (expect_ == Expect::lines) {
        const std::optional<JournalLine> read = whole ? read_line(line_) : std::nullopt;
        if (read) {
            take_(*read);
        } else {
            ++unreadable_;
        }
    }
    line_.clear();
    in_line_ = ends_with_return_ = overlong_ = false;
}

}  // namespace vortal
