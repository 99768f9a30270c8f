// The payment journal. Every operation that creates or moves money leaves a line when its
// request is about to leave the machine ("sent", on the disk before it leaves) and one when
// the till is told the outcome ("ended"), so that no order is forgotten when a till crashes,
// loses power or is told of a failure the service may not share. One file a day,
// "payments-YYYY-MM-DD.txt" in the folder of the daily log: GBK, CR LF, tab-separated
// columns, the first line naming them. The end-of-day reconciliation reads it back. It holds
// neither the signing key nor more of the customer's payment code than its last 4 digits.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"
#include "records.h"

namespace vortal {

inline constexpr char kJournalSent[] = "sent";
inline constexpr char kJournalEnded[] = "ended";

// "payments-YYYY-MM-DD.txt"
std::string journal_file_name(int year, int month, int day);

// The journal's part in one money operation. Made once the request is built, it writes the
// "sent" line of the order in request (operation, request id, amount, payment code) and
// returns when the line is on the disk, file and folder entry flushed; when it goes, it writes
// the "ended" line with the code, the status and the message that result holds then. Both
// lines go to the file of the day the operation began. A line cut short before (a power cut,
// a full disk) is ended first, so that it costs no other line. Lines of concurrent calls, in
// this process or another, never mix.
//
// An operation whose "sent" line is not on the disk must not be sent: recorded() tells, the
// debugger output names the folder, and no "ended" line follows. A failed "ended" line is told
// on the debugger output and changes nothing else.
class JournalEntry {
  public:
    JournalEntry(const TransRequest& request, const TransResult& result);
    ~JournalEntry();
    JournalEntry(const JournalEntry&) = delete;
    JournalEntry& operator=(const JournalEntry&) = delete;

    bool recorded() const { return recorded_; }

  private:
    struct Outcome {
        std::string_view code;
        std::string_view status;
        std::string_view message;
    };
    bool write(const platform::LocalTime& now, std::string_view event, const Outcome& outcome,
               bool durable) const;
    bool append(const std::string& line, bool durable) const;

    const TransResult& result_;
    bool recorded_ = false;
    std::string directory_;
    std::string path_;
    std::string order_;         // operation, request id and amount, as written
    std::string payment_code_;  // masked
};

// One line of the journal, its columns as written.
struct JournalLine {
    std::string time;  // "YYYY-MM-DD HH:MM:SS"
    std::string operation;
    std::string request_id;
    std::string amount;
    std::string event;      // kJournalSent or kJournalEnded
    std::string till_code;  // of an "ended" line: the result code the till was given
    std::string status;     // of an "ended" line: the order status last read
    std::string payment_code;
    std::string message;  // of an "ended" line: the message the till was given; empty in a
                          // journal written before the library kept it
};

// The ending of an operation whose "sent" line the journal did not take: "01", nothing sent.
// Returns false, the operation's own answer.
bool not_recorded(TransResult& result);

// Reads a journal's bytes front to back, a piece at a time as they come, and hands each
// journal line to take; it keeps no more than the line it is in. The first line names the
// columns (with or without "message"); a text that begins otherwise is no journal, and then
// nothing is handed on. An empty text is an empty journal.
class JournalReader {
  public:
    using Take = std::function<void(const JournalLine&)>;
    explicit JournalReader(Take take) : take_(std::move(take)) {}

    void feed(std::string_view bytes);
    // After the last piece: a last line without its line end was cut.
    void finish();

    bool is_journal() const { return expect_ != Expect::nothing; }
    // Lines that are no journal lines, such as one cut by a power cut, or one longer than any
    // the library writes.
    std::size_t unreadable() const { return unreadable_; }

  private:
    void append(std::string_view piece);
    void end_line(bool whole);

    Take take_;
    std::string line_;
    bool in_line_ = false;
    bool ends_with_return_ = false;
    bool overlong_ = false;
    enum class Expect { column_names, lines, nothing } expect_ = Expect::column_names;
    std::size_t unreadable_ = 0;
};

}  // namespace vortal
