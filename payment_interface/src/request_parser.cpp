#include "request_parser.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "gbk_text.h"

namespace vortal {

namespace {

// The fields by the names the till's staff know them by.
constexpr char kAgentNo[] = "代理商号";
constexpr char kSignKey[] = "密钥";
constexpr char kAuthCode[] = "付款码";
constexpr char kAmount[] = "金额";
constexpr char kCashierNo[] = "收银员号";
constexpr char kRequestId[] = "订单号";
constexpr char kDescription[] = "商品描述";
constexpr char kExtraInfo[] = "附加信息";
constexpr char kDeskNo[] = "桌号";

struct Field {
    char* dest;
    std::size_t width;
    const char* name;
};

template <std::size_t N>
Field field(char (&dest)[N], const char* name) {
    return Field{dest, N, name};
}

ParseOutcome take_fields(std::string_view rest, std::initializer_list<Field> fields,
                         RefusedField& refused) {
    for (const Field& target : fields) {
        const std::size_t bar = gbk::find(rest, '|');
        if (bar == gbk::npos) {
            // The text's last "|" is the trail byte of its last character: the caller ended
            // the field with a lead byte whose own trail byte was cut off.
            if (!rest.empty() && rest.back() == '|') {
                refused = RefusedField{target.name, 0};
                return ParseOutcome::refused;
            }
            break;
        }
        if (bar >= target.width) {
            refused = RefusedField{target.name, target.width - 1};
            return ParseOutcome::refused;
        }
        std::memcpy(target.dest, rest.data(), bar);
        target.dest[bar] = '\0';
        rest.remove_prefix(bar + 1);
    }
    return ParseOutcome::taken;
}

struct NamedOperation {
    std::string_view token;
    Operation operation;
};
constexpr NamedOperation kOperations[] = {
    {"Z1", Operation::scan_pay},      {"Z2", Operation::refund},
    {"Z3", Operation::create_order},  {"Z4", Operation::query},
    {"Z5", Operation::machine_order}, {"Z6", Operation::box_qr_address},
};

// The operation a token names: exactly "Z1" to "Z6", letter case included; none otherwise.
Operation operation_for(std::string_view token) {
    for (const NamedOperation& named : kOperations) {
        if (token == named.token) return named.operation;
    }
    return Operation::none;
}

}  // namespace

std::string_view operation_token(Operation operation) {
    for (const NamedOperation& named : kOperations) {
        if (operation == named.operation) return named.token;
    }
    return {};
}

bool passes_as_field(std::string_view value) {
    return gbk::find(value, '|') == gbk::npos && !gbk::ends_in_cut_char(value);
}

ParseOutcome parse_request(const char* input, TransRequest& request, RefusedField& refused) {
    const std::size_t length = strnlen(input, kMaxInputLength + 1);
    if (length == 0 || length > kMaxInputLength) return ParseOutcome::unreadable;
    std::string_view text(input, length);
    const std::size_t bar = gbk::find(text, '|');
    if (bar == gbk::npos || bar > kMaxTokenLength) return ParseOutcome::unreadable;

    request.operation = operation_for(text.substr(0, bar));
    text.remove_prefix(bar + 1);
    TransRequest& r = request;
    switch (request.operation) {
        case Operation::scan_pay:
            return take_fields(text,
                               {field(r.agent_no, kAgentNo), field(r.sign_key, kSignKey),
                                field(r.auth_code, kAuthCode), field(r.amount, kAmount),
                                field(r.cashier_no, kCashierNo)},
                               refused);
        case Operation::refund:
            return take_fields(text,
                               {field(r.agent_no, kAgentNo), field(r.sign_key, kSignKey),
                                field(r.request_id, kRequestId), field(r.cashier_no, kCashierNo)},
                               refused);
        case Operation::create_order:
            return take_fields(
                text,
                {field(r.agent_no, kAgentNo), field(r.sign_key, kSignKey), field(r.amount, kAmount),
                 field(r.description, kDescription), field(r.extra_info, kExtraInfo)},
                refused);
        case Operation::machine_order:
        case Operation::box_qr_address:
            return take_fields(text, {field(r.amount, kAmount), field(r.description, kDeskNo)},
                               refused);
        case Operation::query:
            return take_fields(text,
                               {field(r.agent_no, kAgentNo), field(r.sign_key, kSignKey),
                                field(r.request_id, kRequestId)},
                               refused);
        case Operation::none:
            break;
    }
    return ParseOutcome::taken;
}

}  // namespace vortal
