// The export Z_ALITrans: parse the request text, read the configuration, run the one
// operation, write the receipt when printing is on, and hand back the calling thread's
// result record.
#include <cstring>

#include "box_service.h"
#include "config.h"
#include "library.h"
#include "messages.h"
#include "operations.h"
#include "platform/platform.h"
#include "receipt.h"
#include "records.h"
#include "request_parser.h"

namespace vortal {

namespace {

thread_local TransResult t_result;

using Handler = bool (*)(TransRequest, TransResult&);

Handler handler_for(Operation operation) {
    switch (operation) {
        case Operation::scan_pay:
            return scan_pay;
        case Operation::refund:
            return refund_order;
        case Operation::create_order:
            return create_order;
        case Operation::query:
            return query_order;
        case Operation::machine_order:
            return create_box_order;
        case Operation::box_qr_address:
            return build_box_qr_address;
        default:
            return nullptr;
    }
}

// "01" naming the field; nothing is sent.
void refuse_field(const RefusedField& field, TransResult& result) {
    copy_bounded(result.code, "01");
    if (field.longest == 0) {
        format_bounded(result.message, sizeof result.message, msg::kFieldCutChar, field.name);
    } else {
        format_bounded(result.message, sizeof result.message, msg::kFieldTooLong, field.name,
                       static_cast<unsigned>(field.longest));
    }
}

void run_transaction(const char* input, TransResult& result) {
    TransRequest request;
    std::memset(&request, 0, sizeof request);
    RefusedField refused;
    switch (parse_request(input, request, refused)) {
        case ParseOutcome::refused:
            refuse_field(refused, result);
            return;
        case ParseOutcome::taken:
            read_config(config_path(), request);
            break;
        case ParseOutcome::unreadable:
            break;
    }

    // The handler's own answer is not used: the result code says everything.
    Handler handler = handler_for(request.operation);
    if (handler == nullptr) {
        set_outcome(result, "01", msg::kBadInput);
    } else if (!settings_usable(request)) {
        not_built(result);
    } else {
        handler(request, result);
    }
    if (has_code(result, "00") && request.print_flag != 0) write_receipt(request, result);
}

}  // namespace

void on_library_load() {
    set_up_config_path();
}

void on_library_unload() {
    platform::release_http();
}

}  // namespace vortal

extern "C" VORTAL_EXPORT TransResult* VORTAL_CALL Z_ALITrans(const char* input) {
    TransResult& result = vortal::t_result;
    std::memset(&result, 0, sizeof result);
    if (input == nullptr) return &result;
    try {
        vortal::run_transaction(input, result);
    } catch (...) {
        // Nothing may cross the export; the record keeps what the operation had reached.
        vortal::platform::debug_output(vortal::msg::kInternalError);
    }
    return &result;
}
