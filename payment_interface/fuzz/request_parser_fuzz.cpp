// The request text of Z_ALITrans as a point-of-sale program may pass it: any bytes up to a NUL.
// Beyond the sanitizers: an unreadable text leaves the record untouched; otherwise the operation
// is the one the text's first field names, the configured fields stay empty, and every field taken
// is NUL-terminated within its width and is one whole "|"-ended field of the text (a "|" that is
// a character's trail byte belongs to the field).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "gbk_text.h"
#include "request_parser.h"

using namespace vortal;

namespace {

struct Field {
    const char* text;
    std::size_t width;
};

template <std::size_t N>
Field field(const char (&text)[N]) {
    return Field{text, N};
}

bool all_zero(const void* bytes, std::size_t size) {
    const auto* byte = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (byte[i] != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string_view text(input.c_str());  // up to the first NUL, as the caller's text
    TransRequest request;
    std::memset(&request, 0, sizeof request);
    RefusedField refused;
    if (parse_request(input.c_str(), request, refused) == ParseOutcome::unreadable) {
        korvane_require(all_zero(&request, sizeof request), "an unreadable text takes nothing");
        return 0;
    }
    const std::string_view token = text.substr(0, gbk::find(text, '|'));
    const bool names_an_operation =
        token.size() == 2 && token[0] == 'Z' && token[1] >= '1' && token[1] <= '6';
    korvane_require(names_an_operation == (request.operation != Operation::none),
                    "an operation is taken exactly when the text before the first \"|\" is "
                    "Z1 to Z6");

    const TransRequest& r = request;
    for (const Field& configured :
         {field(r.version), field(r.server_host), field(r.server_path), field(r.proxy),
          field(r.callback_url), field(r.shop_no), field(r.terminal_no), field(r.receipt_file)}) {
        korvane_require(all_zero(configured.text, configured.width),
                        "configured fields are not taken from the text");
    }
    const std::string fields = "|" + std::string(text.substr(gbk::find(text, '|')));
    for (const Field& taken :
         {field(r.extra_info), field(r.agent_no), field(r.sign_key), field(r.request_id),
          field(r.auth_code), field(r.amount), field(r.description), field(r.cashier_no)}) {
        const std::size_t length = strnlen(taken.text, taken.width);
        korvane_require(length < taken.width, "a field ends within its width");
        korvane_require(all_zero(taken.text + length, taken.width - length),
                        "a field is zero after its text");
        if (length == 0) continue;
        const std::string_view value(taken.text, length);
        korvane_require(passes_as_field(value), "a field holds no \"|\" of its own");
        korvane_require(fields.find("|" + std::string(value) + "|") != std::string::npos,
                        "a field is a whole field of the text");
    }
    return 0;
}
