#include "http_get.h"

#include <algorithm>

#include "log.h"
#include "messages.h"
#include "platform/platform.h"

namespace vortal {

namespace {

const char* failure_text(platform::HttpStep step) {
    switch (step) {
        case platform::HttpStep::open:
            return msg::kHttpOpenFailed;
        case platform::HttpStep::connect:
            return msg::kHttpConnectFailed;
        case platform::HttpStep::open_request:
            return msg::kHttpOpenRequestFailed;
        case platform::HttpStep::send:
            return msg::kHttpSendFailed;
        case platform::HttpStep::query_info:
            return msg::kHttpQueryInfoFailed;
        case platform::HttpStep::status:
            return msg::kHttpStatusNotOk;
        case platform::HttpStep::read:
            return msg::kHttpReadFailed;
        case platform::HttpStep::read_too_long:
            return msg::kHttpBodyTooLong;
        case platform::HttpStep::read_cut_short:
            return msg::kHttpBodyCutShort;
        case platform::HttpStep::bad_length:
            return msg::kHttpBadLength;
        case platform::HttpStep::timed_out:
        case platform::HttpStep::none:
            break;
    }
    return nullptr;
}

}  // namespace

std::uint32_t http_get(const char* host, Protocol protocol, std::uint16_t port, const char* address,
                       const char* proxy_text, char* body, std::size_t body_size,
                       std::uint32_t limit_ms) {
    if (protocol == Protocol::unknown) {
        platform::debug_output(msg::kHttpOpenFailed);
        return 0;
    }
    const platform::ExchangeLimits longest = platform::exchange_limits();
    const std::uint32_t total = std::clamp<std::uint32_t>(limit_ms, 1, longest.total_ms);
    const platform::ExchangeLimits limits{std::min(longest.connect_ms, total), total};
    const platform::HttpOutcome outcome = platform::http_exchange(
        host, protocol == Protocol::https, port, address, proxy_text, body, body_size, limits);
    if (outcome.failed_step == platform::HttpStep::timed_out) {
        debug_trace(msg::kHttpTimedOut, static_cast<unsigned>(total));
        return 0;
    }
    if (const char* text = failure_text(outcome.failed_step)) {
        platform::debug_output(text);
        if (outcome.cause[0] != '\0') debug_trace(msg::kHttpsFailed, outcome.cause);
        return 0;
    }
    return outcome.length;
}

}  // namespace vortal
