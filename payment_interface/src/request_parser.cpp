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

void take_fields(std::string_view rest, std::initializer_list<Field> fields) {
    for (const Field& target : fields) {
        const std::size_t bar = rest.find('|');
        if (bar == std::string_view::npos || bar >= target.width) return;
        std::memcpy(target.dest, rest.data(), bar);
        target.dest[bar] = '\0';
        rest.remove_prefix(bar + 1);
    }
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
        case Operation::scan_pay:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.auth_code),
                               field(r.amount), field(r.cashier_no)});
            break;
        case Operation::refund:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.request_id),
                               field(r.cashier_no)});
            break;
        case Operation::create_order:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.amount),
                               field(r.description), field(r.extra_info)});
            break;
        case Operation::machine_order:
        case Operation::box_qr_address:
            take_fields(text, {field(r.amount), field(r.description)});
            break;
        case Operation::query:
            take_fields(text, {field(r.agent_no), field(r.sign_key), field(r.request_id)});
            break;
        default:
            break;
    }
    return true;
}

}  // namespace vortal
