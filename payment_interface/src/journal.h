// The payment journal. Every operation that creates or moves money leaves a line when its
// request is about to leave the machine ("sent", on the disk before it leaves) and one when
// the till is told the outcome ("ended"), so that no order is forgotten when a till crashes,
// loses power or is told of a failure the service may not share. One file a day,
// "payments-YYYY-MM-DD.txt" in the folder of the daily log: GBK, CR LF, tab-separated
// columns, the first line naming them. The end-of-day reconciliation reads it back. It holds
// neither the signing key nor more of the customer's payment code than its last 4 digits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "records.h"

namespace vortal {

inline constexpr char kJournalSent[] = "sent";
inline constexpr char kJournalEnded[] = "ended";

// "payments-YYYY-MM-DD.txt"
std::string journal_file_name(int year, int month, int day);

// The journal's part in one money operation. Made once the request is built, it writes the
// "sent" line of the order in request (operation, request id, amount, payment code) and
// returns when the line is on the disk; when it goes, it writes the "ended" line with the
// code, the status and the message that result holds then. Both lines go to the file of the
// day the operation began. A line that cannot be written is told on the debugger output and
// changes nothing else. Lines of concurrent calls, in this process or another, never mix.
class JournalEntry {
  public:
    JournalEntry(const TransRequest& request, const TransResult& result);
    ~JournalEntry();
    JournalEntry(const JournalEntry&) = delete;
    JournalEntry& operator=(const JournalEntry&) = delete;

  private:
    struct Outcome {
        std::string_view code;
        std::string_view status;
        std::string_view message;
    };
    void write(const platform::LocalTime& now, std::string_view event, const Outcome& outcome,
               bool durable) const;
    bool append(const std::string& line, bool durable) const;

    const TransResult& result_;
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

struct JournalText {
    std::vector<JournalLine> lines;
    std::size_t unreadable = 0;  // lines that are not journal lines, such as one cut by a power cut
};

// The lines of a journal file's text; nothing when the text does not begin with the line of
// column names (with or without "message"). An empty text is an empty journal.
std::optional<JournalText> read_journal(std::string_view text);

}  // namespace vortal
