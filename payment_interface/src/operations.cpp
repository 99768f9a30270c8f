#include "operations.h"

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

// The answer of one exchange; the answer's raw text points into body.
struct Reply {
    char body[kBodySize] = {};
    Answer answer;
};

// The opening of every operation once its request is built: the request address sent under
// the library lock, the answer checked and the service's acceptance read. An answer cut short
// is a failed exchange ("02"); one whose signature fails or that is about another order than
// request.request_id is not believed ("03") and not used; a refusal is "04" with the
// service's words, the answer kept in reply. True when the service accepted. sent_text goes
// to the debugger output after a successful exchange, while the lock is still held,
// refused_text after a refusal.
bool open_operation(const TransRequest& request, const char* address, Reply& reply,
                    TransResult& result, const char* sent_text = nullptr,
                    const char* refused_text = nullptr) {
    std::uint32_t length = 0;
    {
        const LibraryLockHold hold;
        length = http_get(request.server_host, request.server_protocol, request.server_port,
                          address, request.proxy, reply.body, sizeof reply.body);
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

}  // namespace

bool not_built(TransResult& result) {
    set_outcome(result, kBadRequest, msg::kRequestNotBuilt);
    return false;
}

bool query_order(TransRequest request, TransResult& result) {
    Address address;
    if (!build_query(request, address)) return not_built(result);
    Reply reply;
    if (!open_operation(request, address, reply, result)) return false;
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
    if (!open_operation(request, address, reply, result)) return false;
    stamp_trade_time(result);

    // Two queries a second for the configured time; the lock is free while waiting.
    const long long polls = 2LL * request.timeout_seconds;
    for (long long poll = 0; poll < polls; ++poll) {
        query_order(request, result);
        if (is_status(result, kPaid)) break;
        platform::sleep_ms(kPollIntervalMs);
    }
    // An answer that leaves the id out empties the field.
    copy_bounded(result.request_id, request.request_id);
    if (is_status(result, kPaid)) {
        set_outcome(result, kSuccess, msg::kScanPaySucceeded);
        return true;
    }
    if (is_status(result, kUnpaid)) set_outcome(result, kRefused, msg::kCustomerDidNotPay);
    return false;
}

bool refund_order(TransRequest request, TransResult& result) {
    Address address;
    if (!build_refund(request, address)) return not_built(result);
    const JournalEntry journal(request, result);
    if (!journal.recorded()) return not_recorded(result);
    Reply reply;
    if (!open_operation(request, address, reply, result)) {
        // A refusal without words is told by its error code.
        if (has_code(result, kRefused) && result.message[0] == '\0') {
            char error_code[sizeof result.message];
            read_top_text(reply.answer, "errorCode", error_code, sizeof error_code);
            format_bounded(result.message, sizeof result.message, msg::kRefundErrorCode,
                           error_code);
        }
        return false;
    }
    if (!query_order(request, result)) return false;
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
    if (!open_operation(request, address, reply, result, sent_text, refused_text)) return false;
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
