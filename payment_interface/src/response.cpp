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
// objects are not texts, and neither is a text holding U+0000, which would read shorter than
// what was sent.
std::optional<std::string> as_text(const Json::Value* value) {
    if (value == nullptr) return std::string();
    switch (value->type()) {
        case Json::nullValue:
            return std::string();
        case Json::stringValue: {
            std::string text = value->asString();
            if (text.find('\0') != std::string::npos) return std::nullopt;
            return text;
        }
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

Json::CharReaderBuilder strict_builder(bool whole_text) {
    Json::CharReaderBuilder builder;
    builder["allowComments"] = false;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = whole_text;
    return builder;
}

// whole_text: nothing but blanks may follow the value. The builders are made once and only
// read afterwards; each parse takes a reader of its own. No reader is kept per thread: the
// callers' threads are not the library's, and an object left on one with a destructor to run
// when it ends is run by the C++ runtime of a Windows DLL after that thread's storage is gone,
// which kept the host process from ever exiting.
bool parse_json(std::string_view text, Json::Value& value, bool whole_text) {
    static const Json::CharReaderBuilder whole_builder = strict_builder(true);
    static const Json::CharReaderBuilder leading_builder = strict_builder(false);
    const std::unique_ptr<Json::CharReader> reader(
        (whole_text ? whole_builder : leading_builder).newCharReader());
    try {
        return reader->parse(text.data(), text.data() + text.size(), &value, nullptr);
    } catch (const std::exception&) {
        return false;  // nesting too deep for the reader
    }
}

std::string_view signed_part(std::string_view raw) {
    const std::size_t data = raw.find(kDataMarker);
    const std::size_t end = raw.find(kHmacMarker);
    if (data == std::string_view::npos || end == std::string_view::npos) return {};
    const std::size_t start = data + kDataMarker.size();
    if (end < start) return {};
    return raw.substr(start, end - start);
}

}  // namespace

Answer parse_answer(std::string_view body) {
    Answer answer;
    answer.raw = body;
    if (body.empty() || body.find('\0') != std::string_view::npos) return answer;
    answer.parsed = parse_json(body, answer.root, true);
    if (!answer.parsed) return answer;

    answer.hmac = as_text(member(answer.root, "hmac"));
    answer.signed_text = signed_part(body);
    if (answer.hmac && answer.hmac->empty()) {
        if (const Json::Value* data = member(answer.root, "data")) answer.data = *data;
    } else if (!answer.signed_text.empty() && !parse_json(answer.signed_text, answer.data, false)) {
        answer.data = Json::Value();
    }
    return answer;
}

bool signature_valid(const Answer& answer, std::string_view key) {
    if (key.empty() || !answer.parsed || !answer.hmac) return false;
    if (answer.hmac->empty()) return !succeeded(answer);
    if (answer.signed_text.empty()) return false;

    char expected[kSignatureSize];
    if (!sign(answer.signed_text, key, expected)) return false;
    // The signed text must also be where the answer's "data" stands: the text signed for one
    // place may not be shown in another (nested in a member, or before a forged "data").
    const Json::Value* data = member(answer.root, "data");
    if (answer.hmac->size() != kSignatureSize - 1 ||
        CRYPTO_memcmp(answer.hmac->data(), expected, kSignatureSize - 1) != 0 || data == nullptr ||
        *data != answer.data) {
        platform::debug_output(msg::kAnswerSignatureWrong);
        return false;
    }
    return true;
}

bool concerns_order(const Answer& answer, std::string_view request_id) {
    const std::optional<std::string> named = as_text(member(answer.data, "requestId"));
    if (!named) return false;
    if (named->empty()) return true;
    char area[kConversionSize];
    return to_ansi(*named, area) == request_id;
}

std::optional<JsonEnding> json_ending(std::string_view text) {
    JsonEnding ending;
    bool escaped = false;
    for (const char c : text) {
        if (ending.inside_text) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                ending.inside_text = false;
            }
        } else if (c == '"') {
            ending.inside_text = true;
        } else if (c == '{' || c == '[') {
            ending.open += c;
        } else if (c == '}' || c == ']') {
            if (ending.open.empty() || ending.open.back() != (c == '}' ? '{' : '[')) {
                return std::nullopt;
            }
            ending.open.pop_back();
        }
    }
    return ending;
}

bool ends_before_complete(std::string_view body) {
    // Brackets that close what was never opened: not JSON at all, rather than cut short.
    const std::optional<JsonEnding> ending = json_ending(body);
    return ending && (ending->inside_text || !ending->open.empty());
}

bool succeeded(const Answer& answer) {
    if (!answer.parsed) return false;
    const Json::Value* result = member(answer.root, "result");
    return result != nullptr && result->isString() && result->asString() == "1";
}

bool has_data(const Answer& answer) {
    if (!answer.parsed) return false;
    const Json::Value& data = answer.data;
    return (data.isObject() || data.isArray()) && !data.empty();
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
    const Json::Value& data = answer.data;
    if (data.isNull()) return DataRead::done;
    if (!data.isObject()) return DataRead::wrong_type;
    const std::optional<std::string> text = as_text(member(data, name));
    if (!text) return DataRead::wrong_type;
    if (text->empty()) return DataRead::done;
    char area[kConversionSize];
    const std::string_view converted = to_ansi(*text, area);
    if (converted.size() < width) copy_bounded(dest, width, converted);
    return DataRead::done;
}

}  // namespace vortal
