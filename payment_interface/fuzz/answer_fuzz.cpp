// The checks and readers of the payment service's answers, on a signing key and a body.
// Input: one byte giving the key's length, the key, then the body, in which every "{{hmac}}"
// outside the signed text becomes the text's true signature, so that the fuzzer reaches
// answers that pass the check. Beyond the sanitizers:
// - an unsigned answer that passes does not claim success;
// - every field read from an answer that passes lies inside the signed text: an answer that
//   differs only outside it (a plain envelope before it, or only the signature and the closing
//   brackets after it) and also passes reads the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "records.h"
#include "response.h"
#include "signing.h"

using namespace vortal;

namespace {

constexpr std::string_view kPlaceholder = "{{hmac}}";
constexpr std::string_view kRequestId = "R1";

struct DataField {
    const char* name;
    std::size_t width;
};
constexpr DataField kDataFields[] = {
    {"status", 11},      {"customerName", 31},     {"requestId", 31}, {"orderAmount", 13},
    {"amount", 13},      {"saveAmount", 13},       {"orderTime", 21}, {"refundTime", 21},
    {"bankOrderNo", 13}, {"url", kConversionSize},
};

// Everything the operations read from an answer's "data".
std::string data_reads(const Answer& answer) {
    std::string reads = has_data(answer) ? "data;" : "no data;";
    reads += concerns_order(answer, kRequestId) ? "R1;" : "other order;";
    for (const DataField& field : kDataFields) {
        char dest[kConversionSize];
        const DataRead read = read_data_text(answer, field.name, dest, field.width);
        reads += std::to_string(static_cast<int>(read)) + ":" + std::string(dest) + ";";
    }
    return reads;
}

// Each placeholder outside the signed text becomes the signed text's signature; the markers
// that delimit the signed text hold no hex digit, so the replacement cannot move them.
std::string with_signature(const std::string& body, std::string_view key) {
    const Answer layout = parse_answer(body);
    char signature[kSignatureSize] = {};
    if (!layout.parsed || !sign(layout.signed_text, key, signature)) return body;
    const auto start = static_cast<std::size_t>(layout.signed_text.data() - body.data());
    const std::size_t end = start + layout.signed_text.size();
    std::string signed_body;
    for (std::size_t at = 0; at < body.size();) {
        const bool placeholder = body.compare(at, kPlaceholder.size(), kPlaceholder) == 0 &&
                                 (at + kPlaceholder.size() <= start || at >= end);
        if (placeholder) {
            signed_body += signature;
            at += kPlaceholder.size();
        } else {
            signed_body += body[at++];
        }
    }
    return signed_body;
}

// The answers that keep the signed text of a signed answer and change what is around it.
std::vector<std::string> variants_around_signed_text(const Answer& answer) {
    const auto start = static_cast<std::size_t>(answer.signed_text.data() - answer.raw.data());
    const std::string_view before = answer.raw.substr(0, start);
    const std::string_view after = answer.raw.substr(start + answer.signed_text.size());
    const std::string signature = ",\"hmac\":\"" + *answer.hmac + "\"";

    std::vector<std::string> variants;
    variants.push_back("{\"result\":\"1\",\"data\":" + std::string(answer.signed_text) +
                       std::string(after));
    const std::string head = std::string(before) + std::string(answer.signed_text);
    const std::optional<JsonEnding> ending = json_ending(head);
    if (ending && !ending->inside_text) {
        std::string closing;
        for (auto bracket = ending->open.rbegin(); bracket != ending->open.rend(); ++bracket) {
            closing += *bracket == '{' ? '}' : ']';
        }
        variants.push_back(head + signature + closing);
    }
    return variants;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t key_length = std::min<std::size_t>(data[0], size - 1);
    const std::string key = input.substr(1, key_length);
    const std::string body = with_signature(input.substr(1 + key_length), key);

    ends_before_complete(body);
    const Answer answer = parse_answer(body);
    char message[sizeof TransResult::message];
    read_top_text(answer, "errorMsg", message, sizeof message);
    const std::string reads = data_reads(answer);
    if (!signature_valid(answer, key)) return 0;

    korvane_require(answer.hmac.has_value(), "a passing answer has a text signature or none");
    if (answer.hmac->empty()) {
        korvane_require(!succeeded(answer), "an unsigned answer that passes claims no success");
        return 0;
    }
    for (const std::string& variant : variants_around_signed_text(answer)) {
        const Answer other = parse_answer(variant);
        if (!signature_valid(other, key) || other.hmac->empty()) continue;
        korvane_require(data_reads(other) == reads,
                        "what is read from \"data\" comes from the signed text");
    }
    return 0;
}
