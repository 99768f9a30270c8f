// The attempts of a day's orders that a person may have to act on, gathered from the payment
// journal in two reads of the same lines, keeping only what their verdicts need: a journal of
// a busy month's size takes no more memory than its orders in doubt.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "journal.h"

// One attempt of an order: its "sent" line (or its "ended" line when that is all there is) and
// what its till was told.
struct Attempt {
    std::size_t line;  // the journal line it was first seen on
    std::string time;
    std::string operation;
    std::string request_id;
    std::string amount;
    std::optional<std::string> till_code;  // none when the till got no answer
    bool duplicate = false;                // refused: another attempt had taken its order id
};

// An order, its operation and request id, with its attempts in doubt.
struct OrderInDoubt {
    std::string operation;
    std::string request_id;
    std::vector<Attempt> attempts;
};

class OrdersInDoubt {
  public:
    // The first read: each "ended" line closes the last open "sent" line of its order; every
    // attempt not told "00" is kept, and a refund told "00" too, as it is judged by what the
    // order reads now.
    void gather(const vortal::JournalLine& line);
    // The second read: an order that any attempt but a refund was told "00" of is settled.
    void settle(const vortal::JournalLine& line);
    // The orders that remain: of a settled one only its duplicate attempts.
    std::vector<OrderInDoubt> orders() const;

  private:
    struct Order {
        std::vector<Attempt> attempts;
        bool settled = false;
    };
    using Key = std::pair<std::string, std::string>;  // operation, request id
    std::map<Key, Order> orders_;
    std::size_t lines_ = 0;
};
