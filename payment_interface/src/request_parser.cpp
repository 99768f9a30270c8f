#include "request_parser.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace vortal {

namespace {

struct Field {
    char* dest;
    std::size_t width;
};

template <std::size_t N>
Field field(char (&dest)[N]) {
    return Field{dest, N};
}

Operation operation_for(std::string_view token) {
    if (token == "Z1") return kScanPay;
    if (token == "Z2") return kRefund;
    if (token == "Z3") return kCreateOrder;
    if (token == "Z4") return kQuery;
    if (token == "Z5") return kMachineOrder;
    if (token == "Z6") return kBoxQrAddress;
    return kNoOperation;
}

void take_fields(std::string_view rest, std::initializer_list<Field> fields) {
    for (const Field& target : fields) {
        const std::size_t bar = rest.find('|');
        if (bar == std::string_view::npos || bar >= target.width) return;
        std::memcpy(target.dest, rest.data(), bar);
        target.dest[bar] = '\0';
        rest.remove_prefix(bar + 1);
    }
}

}  // namespace

bool parse_request(const char* input, TransRequest& request) {
    const std::size_t length = strnlen(input, kMaxInputLength + 1);
    if (length == 0 || length > kMaxInputLength) return false;
    std::string_view text(input, length);
    const std::size_t bar = text.find('|');
    if (bar == std::string_view::npos || bar > kMaxTokenLength) return false;

    request.operation = operation_for(text.substr(0, bar));
    text.remove_prefix(bar + 1);
    TransRequest& r = request;
    switch (request.operation) {
        case kScanPay:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.auth_code),
                               field(r.amount), field(r.cashier_no)});
            break;
        case kRefund:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.request_id),
                               field(r.cashier_no)});
            break;
        case kCreateOrder:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.amount),
                               field(r.description), field(r.extra_info)});
            break;
        case kMachineOrder:
        case kBoxQrAddress:
            take_fields(text, {field(r.amount), field(r.description)});
            break;
        case kQuery:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.request_id)});
            break;
        default:
            break;
    }
    return true;
}

}  // namespace vortal
