#include "cli/orders_in_doubt.h"

#include <string_view>

namespace {

constexpr std::string_view kSuccess = "00";
constexpr std::string_view kRefused = "04";
constexpr char kDuplicateOrder[] = "订单号重复";
constexpr std::string_view kRefund = "Z2";

// A success settles its order; a refund's "00" is checked against the order's status instead.
bool settles(const vortal::JournalLine& line) {
    return line.event == vortal::kJournalEnded && line.till_code == kSuccess &&
           line.operation != kRefund;
}

// The service's words when it already has an order of the request id: this attempt was
// refused, and whatever the id's order holds belongs to another attempt.
bool refused_as_duplicate(const vortal::JournalLine& ended) {
    return ended.till_code == kRefused && ended.message.find(kDuplicateOrder) != std::string::npos;
}

}  // namespace

void OrdersInDoubt::gather(const vortal::JournalLine& line) {
    const std::size_t number = lines_++;
    const Key key(line.operation, line.request_id);
    if (line.event == vortal::kJournalSent) {
        orders_[key].attempts.push_back(
            Attempt{number, line.time, line.operation, line.request_id, line.amount, {}, false});
        return;
    }
    const auto found = orders_.find(key);
    Attempt* open = nullptr;
    if (found != orders_.end()) {
        for (auto attempt = found->second.attempts.rbegin();
             attempt != found->second.attempts.rend() && open == nullptr; ++attempt) {
            if (!attempt->till_code) open = &*attempt;
        }
    }
    if (settles(line)) {
        if (open != nullptr) {
            std::vector<Attempt>& attempts = found->second.attempts;
            attempts.erase(attempts.begin() + (open - attempts.data()));
            if (attempts.empty()) orders_.erase(found);
        }
        return;
    }
    if (open == nullptr) {
        std::vector<Attempt>& attempts = orders_[key].attempts;
        attempts.push_back(
            Attempt{number, line.time, line.operation, line.request_id, line.amount, {}, false});
        open = &attempts.back();
    }
    open->till_code = line.till_code;
    open->duplicate = refused_as_duplicate(line);
}

void OrdersInDoubt::settle(const vortal::JournalLine& line) {
    if (!settles(line)) return;
    const auto found = orders_.find(Key(line.operation, line.request_id));
    if (found != orders_.end()) found->second.settled = true;
}

std::vector<OrderInDoubt> OrdersInDoubt::orders() const {
    std::vector<OrderInDoubt> remaining;
    for (const auto& [key, order] : orders_) {
        OrderInDoubt kept{key.first, key.second, {}};
        for (const Attempt& attempt : order.attempts) {
            if (!order.settled || attempt.duplicate) kept.attempts.push_back(attempt);
        }
        if (!kept.attempts.empty()) remaining.push_back(std::move(kept));
    }
    return remaining;
}
