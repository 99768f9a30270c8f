#include "operations.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "http_get.h"
#include "journal.h"
#include "library_lock.h"
#include "messages.h"
#include "platform/platform.h"
#include "response.h"
#include "signing.h"

namespace vortal {

namespace {

constexpr char kSuccess[] = "00";
constexpr char kBadRequest[] = "01";
constexpr char kNetworkFailure[] = "02";
constexpr char kSignatureFailure[] = "03";
constexpr char kRefused[] = "04";
constexpr char kNoData[] = "05";
constexpr char kUnknownStatus[] = "06";

constexpr char kPaid[] = "SUCCESS";
constexpr char kUnpaid[] = "INIT";
constexpr char kRefunded[] = "REFUND";

// A scan-pay's query is never given less than this share of an exchange's limit (2 s of 30 s),
// so that an answer in normal time is never cut however near the end of the polling it is
// asked.
constexpr std::uint32_t kPollFloorShare = 15;

// The answer of one exchange; the answer's raw text points into body.
struct Reply {
    char body[kBodySize] = {};
    Answer answer;
};

// How long an exchange may wait for the library lock, and then how long it may last.
struct ExchangeTime {
    std::uint32_t lock_wait_ms;
    std::uint32_t limit_ms;
};

// An exchange in no hurry: the longest it may last, behind the longest exchange ahead of it.
ExchangeTime whole_exchange() {
    return ExchangeTime{longest_lock_wait_ms(), platform::exchange_limits().total_ms};
}

// A moment some milliseconds ahead. The tick count wraps, so the time passed is added up a
// step at a time, each step far shorter than a wrap.
class Deadline {
  public:
    explicit Deadline(std::uint64_t after_ms)
        : left_ms_(after_ms), last_tick_(platform::tick_count_ms()) {}

    std::uint64_t left_ms() {
        const std::uint32_t now = platform::tick_count_ms();
        const std::uint32_t passed = now - last_tick_;
        last_tick_ = now;
        left_ms_ = passed < left_ms_ ? left_ms_ - passed : 0;
        return left_ms_;
    }

  private:
    std::uint64_t left_ms_;
    std::uint32_t last_tick_;
};

// The opening of every operation once its request is built: the request address sent under
// the library lock, the answer checked and the service's acceptance read. A lock not taken in
// time or an answer cut short is a failed exchange ("02"); one whose signature fails or that
// is about another order than request.request_id is not believed ("03") and not used; a
// refusal is "04" with the service's words, the answer kept in reply. True when the service
// accepted. sent_text goes to the debugger output after a successful exchange, while the lock
// is still held, refused_text after a refusal.
bool open_operation(const TransRequest& request, const char* address, Reply& reply,
                    TransResult& result, const ExchangeTime& time, const char* sent_text = nullptr,
                    const char* refused_text = nullptr) {
    std::uint32_t length = 0;
    {
        const LibraryLockHold hold(time.lock_wait_ms);
        if (hold.held()) {
            length = http_get(request.server_host, request.server_protocol, request.server_port,
                              address, request.proxy, reply.body, sizeof reply.body, time.limit_ms);
        }
        if (length > 0 && sent_text != nullptr) platform::debug_output(sent_text);
    }
    const std::string_view body(reply.body, length);
    if (length > 0 && ends_before_complete(body)) {
        platform::debug_output(msg::kHttpBodyCutShort);
        length = 0;
    }
    if (length == 0) {
        set_outcome(result, kNetworkFailure, msg::kNetworkFailed);
        return false;
    }
    reply.answer = parse_answer(body);
    if (!signature_valid(reply.answer, request.sign_key) ||
        !concerns_order(reply.answer, request.request_id)) {
        set_outcome(result, kSignatureFailure, msg::kSignatureMismatch);
        return false;
    }
    if (!succeeded(reply.answer)) {
        if (refused_text != nullptr) platform::debug_output(refused_text);
        copy_bounded(result.code, kRefused);
        read_top_text(reply.answer, "errorMsg", result.message, sizeof result.message);
        return false;
    }
    return true;
}

bool is_status(const TransResult& result, const char* status) {
    return std::strcmp(result.status, status) == 0;
}

void stamp_trade_time(TransResult& result) {
    const platform::LocalTime now = platform::local_time();
    format_bounded(result.trade_time, sizeof result.trade_time, "%d-%02d-%02d %02d:%02d", now.year,
                   now.month, now.day, now.hour, now.minute);
}

bool query_within(const TransRequest& request, TransResult& result, const ExchangeTime& time) {
    Address address;
    if (!build_query(request, address)) return not_built(result);
    Reply reply;
    if (!open_operation(request, address, reply, result, time)) return false;
    const Answer& answer = reply.answer;
    if (!has_data(answer)) {
        set_outcome(result, kNoData, msg::kNoData);
        return false;
    }
    read_data_text(answer, "status", result.status);
    if (!is_status(result, kPaid) && !is_status(result, kUnpaid) && !is_status(result, kRefunded)) {
        set_outcome(result, kUnknownStatus, msg::kUnknownStatus);
        return false;
    }
    bool details_are_texts = true;
    auto read_detail = [&](const char* name, char* dest, std::size_t width) {
        details_are_texts &= read_data_text(answer, name, dest, width) == DataRead::done;
    };
    read_detail("customerName", result.merchant_name, sizeof result.merchant_name);
    read_detail("requestId", result.request_id, sizeof result.request_id);
    read_detail("orderAmount", result.order_amount, sizeof result.order_amount);
    read_detail("amount", result.amount, sizeof result.amount);
    read_detail("saveAmount", result.save_amount, sizeof result.save_amount);
    read_detail("orderTime", result.order_time, sizeof result.order_time);
    read_detail("refundTime", result.refund_time, sizeof result.refund_time);
    read_detail("bankOrderNo", result.bank_order_no, sizeof result.bank_order_no);
    if (!details_are_texts) {
        // An order detail that is a number or a structure: the answer is not one the
        // library can hand on.
        set_outcome(result, kNoData, msg::kNoData);
        return false;
    }
    copy_bounded(result.shop_no, request.shop_no);
    copy_bounded(result.cashier_no, request.cashier_no);
    copy_bounded(result.code, kSuccess);
    format_bounded(result.message, sizeof result.message, msg::kQueried, result.status);
    return true;
}

}  // namespace

bool not_built(TransResult& result) {
    set_outcome(result, kBadRequest, msg::kRequestNotBuilt);
    return false;
}

bool query_order(TransRequest request, TransResult& result) {
    return query_within(request, result, whole_exchange());
}

namespace {

// Queries the order of a charge just accepted twice a second until it reads paid, for
// timeout_seconds from now and at most twice that many times. A query gets the time left, or
// the floor when less is left, both to wait for the lock and for its exchange: a scan-pay
// alone ends its polling at most a floor after its time is up.
void poll_until_paid(const TransRequest& request, TransResult& result) {
    Deadline deadline(1000ULL * static_cast<std::uint64_t>(request.timeout_seconds));
    const std::uint32_t longest = platform::exchange_limits().total_ms;
    const std::uint32_t floor = longest / kPollFloorShare;
    const long long polls = 2LL * request.timeout_seconds;
    for (long long poll = 0; poll < polls; ++poll) {
        if (poll > 0) {
            if (deadline.left_ms() < kPollIntervalMs) return;
            platform::sleep_ms(kPollIntervalMs);
        }
        const auto budget = static_cast<std::uint32_t>(
            std::clamp<std::uint64_t>(deadline.left_ms(), floor, longest));
        if (query_within(request, result, ExchangeTime{budget, budget}) &&
            is_status(result, kPaid)) {
            return;
        }
    }
}

// How a scan-pay ends, by its last query alone: "00" when that read the order paid; unpaid
// ("04") when it read it not yet paid or refunded; "06" as the query left it for a status the
// library does not know; and unknown ("02") when it brought no status to believe, whatever an
// earlier query read.
bool end_scan_pay(TransResult& result) {
    if (has_code(result, kUnknownStatus)) return false;
    if (!has_code(result, kSuccess)) {
        set_outcome(result, kNetworkFailure, msg::kPaymentUnknown);
        return false;
    }
    if (is_status(result, kPaid)) {
        set_outcome(result, kSuccess, msg::kScanPaySucceeded);
        return true;
    }
    set_outcome(result, kRefused,
                is_status(result, kRefunded) ? msg::kOrderRefunded : msg::kCustomerDidNotPay);
    return false;
}

}  // namespace

bool scan_pay(TransRequest request, TransResult& result) {
    Address address;
    RequestId request_id;
    // A negative timeout would charge the customer and never ask whether the charge went
    // through. The till is given the order's id whatever the ending, so that it can always
    // query or refund it: an id longer than the result's field is not sent.
    if (request.timeout_seconds < 0 ||
        !build_scan_pay(request, scan_pay_id_time, address, request_id) ||
        !fits(result.request_id, request_id)) {
        return not_built(result);
    }
    copy_bounded(request.request_id, request_id);
    copy_bounded(result.request_id, request_id);
    const JournalEntry journal(request, result);
    if (!journal.recorded()) return not_recorded(result);
    Reply reply;
    if (!open_operation(request, address, reply, result, whole_exchange())) return false;
    stamp_trade_time(result);
    // Without a time to wait for the customer nothing is asked, and the till is told nothing.
    if (request.timeout_seconds == 0) return false;
    poll_until_paid(request, result);
    // An answer that leaves the id out empties the field.
    copy_bounded(result.request_id, request.request_id);
    return end_scan_pay(result);
}

bool refund_order(TransRequest request, TransResult& result) {
    Address address;
    if (!build_refund(request, address)) return not_built(result);
    const JournalEntry journal(request, result);
    if (!journal.recorded()) return not_recorded(result);
    Reply reply;
    if (!open_operation(request, address, reply, result, whole_exchange())) {
        // A refusal without words is told by its error code.
        if (has_code(result, kRefused) && result.message[0] == '\0') {
            char error_code[sizeof result.message];
            read_top_text(reply.answer, "errorCode", error_code, sizeof error_code);
            format_bounded(result.message, sizeof result.message, msg::kRefundErrorCode,
                           error_code);
        }
        return false;
    }
    // Money went back only once the order reads refunded; an order still read paid (or unpaid)
    // is left to be checked later.
    if (!query_order(request, result)) return false;
    if (!is_status(result, kRefunded)) {
        set_outcome(result, kRefused, msg::kRefundNotYetShown);
        return false;
    }
    set_outcome(result, kSuccess, msg::kRefundSucceeded);
    return true;
}

bool create_order(TransRequest request, TransResult& result) {
    Address address;
    RequestId request_id;
    // An id longer than the result's field could not be handed back, and the order could
    // then never be queried or refunded: such an order is not created.
    if (!build_create_order(request, platform::local_time(), order_sequence(), address,
                            request_id) ||
        !fits(result.request_id, request_id)) {
        return not_built(result);
    }
    copy_bounded(request.request_id, request_id);
    return obtain_payment_address(request, address, result, msg::kCreateOrderSent,
                                  msg::kCreateOrderRefused) &&
           has_code(result, kSuccess);
}

bool obtain_payment_address(const TransRequest& request, const char* address, TransResult& result,
                            const char* sent_text, const char* refused_text) {
    copy_bounded(result.request_id, request.request_id);
    const JournalEntry journal(request, result);
    if (!journal.recorded()) return not_recorded(result);
    Reply reply;
    if (!open_operation(request, address, reply, result, whole_exchange(), sent_text,
                        refused_text)) {
        return false;
    }
    // An order without an address that the record can hold cannot be paid at the till; it
    // exists at the service all the same, and its id stays in the result.
    char url[kConversionSize];
    if (read_data_text(reply.answer, "url", url) != DataRead::done || url[0] == '\0') {
        set_outcome(result, kNoData, msg::kNoData);
        return true;
    }
    store_address(result, url);
    copy_bounded(result.code, kSuccess);
    return true;
}

}  // namespace vortal
