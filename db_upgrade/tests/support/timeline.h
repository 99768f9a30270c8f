#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace tessary::testing {

// One thing that happened during a test: an operation of the database double or a call of
// the recording runtime. Both write into one Timeline, so tests see their order.
struct Event {
    enum class Kind {
        kConnect,
        kDisconnect,
        kExecute,
        kSelect,
        kCommit,
        kRollback,
        kAutocommit,
        kMessage,
        kBeep,
        kWaitCursor,
        kProgress,
        kFileList,
        kUpgradeEnabled,
    };
    Kind kind;
    std::string text;    // statement, message text, progress line, "on" or "off"
    std::string detail;  // database a statement ran in, title of a message box
    bool ok = true;      // outcome of a database operation
};

// Safe to write from the thread that runs the core while a test thread reads.
class Timeline {
  public:
    void add(Event event);
    std::vector<Event> events() const;
    // The texts of the events of one kind, in order.
    std::vector<std::string> texts(Event::Kind kind) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

}  // namespace tessary::testing
