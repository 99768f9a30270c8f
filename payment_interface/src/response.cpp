#include "response.h"

#include <json/reader.h>
#include <openssl/crypto.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "messages.h"
#include "platform/platform.h"
#include "records.h"
#include "signing.h"

namespace vortal {

namespace {

constexpr std::string_view kDataMarker = "\"data\":";
constexpr std::string_view kHmacMarker = ",\"hmac\":";

const Json::Value* member(const Json::Value& object, const char* name) {
    if (!object.isObject()) return nullptr;
    return object.find(name, name + std::strlen(name));
}

// Texts read as they are, booleans as "true" and "false", null as empty; numbers, arrays and
// objects are not texts.
std::optional<std::string> as_text(const Json::Value* value) {
    if (value == nullptr) return std::string();
    switch (value->type()) {
        case Json::nullValue:
            return std::string();
        case Json::stringValue:
            return value->asString();
        case Json::booleanValue:
            return std::string(value->asBool() ? "true" : "false");
        default:
            return std::nullopt;
    }
}

std::string_view to_ansi(const std::string& utf8, char (&area)[kConversionSize]) {
    const std::size_t length = platform::utf8_to_ansi(utf8, area, sizeof area);
    return std::string_view(area, length);
}

}  // namespace

Answer parse_answer(std::string_view body) {
    Answer answer;
    answer.raw = body;
    if (body.empty()) return answer;
    // A reader is not shared between threads; making one costs more than a small parse.
    thread_local const std::unique_ptr<Json::CharReader> reader(
        Json::CharReaderBuilder().newCharReader());
    try {
        answer.parsed =
            reader->parse(body.data(), body.data() + body.size(), &answer.root, nullptr);
    } catch (const std::exception&) {
        answer.parsed = false;  // nesting too deep for the reader
    }
    return answer;
}

bool signature_valid(const Answer& answer, std::string_view key) {
    if (key.empty() || !answer.parsed) return false;
    const std::optional<std::string> hmac = as_text(member(answer.root, "hmac"));
    if (!hmac) return false;
    if (hmac->empty()) return !succeeded(answer);

    const std::size_t data = answer.raw.find(kDataMarker);
    const std::size_t end = answer.raw.find(kHmacMarker);
    if (data == std::string_view::npos || end == std::string_view::npos || end < data) return false;
    const std::size_t start = data + kDataMarker.size();
    if (end < start) return false;

    char expected[kSignatureSize];
    if (!sign(answer.raw.substr(start, end - start), key, expected)) return false;
    if (hmac->size() != kSignatureSize - 1 ||
        CRYPTO_memcmp(hmac->data(), expected, kSignatureSize - 1) != 0) {
        platform::debug_output(msg::kAnswerSignatureWrong);
        return false;
    }
    return true;
}

bool succeeded(const Answer& answer) {
    if (!answer.parsed) return false;
    const Json::Value* result = member(answer.root, "result");
    return result != nullptr && result->isString() && result->asString() == "1";
}

bool has_data(const Answer& answer) {
    if (!answer.parsed) return false;
    const Json::Value* data = member(answer.root, "data");
    return data != nullptr && (data->isObject() || data->isArray()) && !data->empty();
}

void read_top_text(const Answer& answer, const char* name, char* dest, std::size_t width) {
    std::memset(dest, 0, width);
    if (!answer.parsed) return;
    const std::optional<std::string> text = as_text(member(answer.root, name));
    if (!text || text->empty()) return;
    char area[kConversionSize];
    copy_bounded(dest, width, to_ansi(*text, area));
}

DataRead read_data_text(const Answer& answer, const char* name, char* dest, std::size_t width) {
    std::memset(dest, 0, width);
    if (!answer.parsed) return DataRead::unparsed;
    const Json::Value* data = member(answer.root, "data");
    if (data == nullptr || data->isNull()) return DataRead::done;
    if (!data->isObject()) return DataRead::wrong_type;
    const std::optional<std::string> text = as_text(member(*data, name));
    if (!text) return DataRead::wrong_type;
    if (text->empty()) return DataRead::done;
    char area[kConversionSize];
    const std::string_view converted = to_ansi(*text, area);
    if (converted.size() < width) copy_bounded(dest, width, converted);
    return DataRead::done;
}

}  // namespace vortal
