#include "aggregator.h"

#include <iconv.h>
#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>
#include <openssl/crypto.h>

#include <cstdio>
#include <ctime>
#include <string_view>
#include <utility>

namespace aggregator {

namespace {

// The values each command signs, in order, after the command word.
const std::map<std::string, std::vector<std::string>>& sign_orders() {
    static const std::map<std::string, std::vector<std::string>> kOrders = {
        {"AGENTWXSCANPAY", {"agentNo", "authCode", "shopNo", "requestId", "amount"}},
        {"AGENTQUERY", {"agentNo", "shopNo", "requestId"}},
        {"AGENTREFUND", {"agentNo", "shopNo", "requestId"}},
        {"AGENTCREATEORDER",
         {"agentNo", "shopNo", "requestId", "amount", "callbackUrl", "description", "extraInfo"}},
        {"MACHINECREATEORDER", {"machineNo", "requestId", "amount", "description", "extraInfo"}},
    };
    return kOrders;
}

constexpr std::size_t kMaxSignText = 255;
constexpr std::size_t kOversizedBody = 100 * 1024;
constexpr std::size_t kLongUrl = 300;

struct NamedFault {
    const char* name;
    Fault fault;
};
constexpr NamedFault kFaultNames[] = {
    {"none", Fault::none},
    {"bad-signature", Fault::bad_signature},
    {"unsigned", Fault::unsigned_answer},
    {"server-error", Fault::server_error},
    {"refuse", Fault::refuse_with_message},
    {"refuse-with-code", Fault::refuse_with_code},
    {"slow", Fault::slow},
    {"empty-data", Fault::empty_data},
    {"unknown-status", Fault::unknown_status},
    {"cut-with-length", Fault::cut_with_length},
    {"cut-without-length", Fault::cut_without_length},
    {"never-answer", Fault::never_answer},
    {"trickle", Fault::trickle},
    {"oversized-body", Fault::oversized_body},
    {"chunked", Fault::chunked},
    {"other-order", Fault::other_order},
    {"duplicate-data", Fault::duplicate_data},
    {"long-url", Fault::long_url},
};

Delivery delivery_for(Fault fault) {
    switch (fault) {
        case Fault::cut_with_length:
            return Delivery::cut_with_length;
        case Fault::cut_without_length:
            return Delivery::cut_without_length;
        case Fault::never_answer:
            return Delivery::never;
        case Fault::trickle:
            return Delivery::trickle;
        case Fault::chunked:
            return Delivery::chunked;
        default:
            return Delivery::whole;
    }
}

std::string now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string compact_json(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// As a web server decodes a query (application/x-www-form-urlencoded): "%XX" becomes its
// byte and "+" a blank; everything else, raw GBK bytes and an incomplete escape included,
// stays as it came.
std::string percent_decoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hex_digit(text[i + 1]) : -1;
        const int low = high >= 0 ? hex_digit(text[i + 2]) : -1;
        if (low >= 0) {
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            bytes += text[i] == '+' ? ' ' : text[i];
        }
    }
    return bytes;
}

// Splits "name=value&name=value" and decodes both as an HTTP service does. The library
// encodes what would not arrive as it is ("&", "+", "%", "#", a blank...) and sends the rest,
// GBK text included, as it is: the signature is checked over the decoded values.
std::map<std::string, std::string> parse_query(std::string_view query) {
    std::map<std::string, std::string> parameters;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (piece.empty()) continue;
        const std::size_t equals = piece.find('=');
        parameters.emplace(percent_decoded(piece.substr(0, equals)),
                           equals == std::string_view::npos
                               ? std::string()
                               : percent_decoded(piece.substr(equals + 1)));
    }
    return parameters;
}

// Through a proxy the target comes in absolute form; the service part is the same.
std::map<std::string, std::string> parameters_of(const HttpRequest& request) {
    std::string_view target(request.target);
    if (target.rfind("http://", 0) == 0) {
        const std::size_t path = target.find('/', 7);
        target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
    }
    const std::size_t question = target.find('?');
    return parse_query(question == std::string_view::npos ? std::string_view()
                                                          : target.substr(question + 1));
}

std::string value_of(const std::map<std::string, std::string>& parameters,
                     const std::string& name) {
    const auto found = parameters.find(name);
    return found == parameters.end() ? std::string() : found->second;
}

// The library sends GBK; the service answers in UTF-8. Nothing for bytes that are not GBK.
std::optional<std::string> utf8_from_gbk(std::string_view gbk) {
    iconv_t converter = iconv_open("UTF-8", "CP936");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string utf8(gbk.size() * 2 + 1, '\0');  // a GBK character is at most 3 bytes of UTF-8
    char* in = const_cast<char*>(gbk.data());
    std::size_t in_left = gbk.size();
    char* out = utf8.data();
    std::size_t out_left = utf8.size();
    const bool converted =
        iconv(converter, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!converted) return std::nullopt;
    utf8.resize(utf8.size() - out_left);
    return utf8;
}

// A text of the request in an answer. respond() refuses requests whose texts are not GBK.
std::string as_utf8(const std::string& gbk) {
    return utf8_from_gbk(gbk).value_or(std::string());
}

// In constant time, as the service compares: how long a comparison takes must not tell how
// much of a forged signature was right.
bool same_signature(const std::string& given, const std::string& expected) {
    return !expected.empty() && given.size() == expected.size() &&
           CRYPTO_memcmp(given.data(), expected.data(), expected.size()) == 0;
}

}  // namespace

std::optional<Fault> fault_named(const std::string& name) {
    for (const NamedFault& named : kFaultNames) {
        if (name == named.name) return named.fault;
    }
    return std::nullopt;
}

Aggregator::Aggregator()
    : server_([this](const HttpRequest& request) { return handle(request); }) {}

std::uint16_t Aggregator::start(std::uint16_t port) {
    return server_.start(port);
}

void Aggregator::stop() {
    server_.stop();
}

void Aggregator::add_agent(const std::string& agent_no, const std::string& key,
                           const std::string& merchant_name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    agents_[agent_no] = Agent{key, merchant_name};
}

void Aggregator::add_machine(const std::string& machine_no, const std::string& key) {
    const std::lock_guard<std::mutex> lock(mutex_);
    machines_[machine_no] = key;
}

void Aggregator::set_paid_after_queries(int queries) {
    const std::lock_guard<std::mutex> lock(mutex_);
    paid_after_queries_ = queries;
}

void Aggregator::set_fault(const std::string& command, Fault fault) {
    const std::lock_guard<std::mutex> lock(mutex_);
    faults_[command] = fault;
}

void Aggregator::set_refusal(const std::string& error_message, const std::string& error_code) {
    const std::lock_guard<std::mutex> lock(mutex_);
    refusal_message_ = error_message;
    refusal_code_ = error_code;
}

void Aggregator::set_delay(std::chrono::milliseconds delay) {
    const std::lock_guard<std::mutex> lock(mutex_);
    delay_ = delay;
}

void Aggregator::set_answer_hook(AnswerHook hook) {
    const std::lock_guard<std::mutex> lock(mutex_);
    answer_hook_ = std::move(hook);
}

void Aggregator::put_order(const Order& order) {
    const std::lock_guard<std::mutex> lock(mutex_);
    orders_[order.request_id] = order;
}

std::optional<Order> Aggregator::order(const std::string& request_id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = orders_.find(request_id);
    if (found == orders_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> Aggregator::targets() const {
    std::vector<std::string> targets;
    for (const RecordedExchange& exchange : server_.exchanges()) {
        targets.push_back(exchange.request.target);
    }
    return targets;
}

Fault Aggregator::fault_for(const std::string& command) const {
    if (answer_fault_) return *answer_fault_;
    for (const std::string& key : {command, std::string()}) {
        const auto found = faults_.find(key);
        if (found != faults_.end() && found->second != Fault::none) return found->second;
    }
    return Fault::none;
}

HttpResponse Aggregator::refusal(const std::string& message, const std::string& code) const {
    Json::Value body;
    body["result"] = "0";
    body["errorMsg"] = message;
    if (!code.empty()) body["errorCode"] = code;
    return HttpResponse{200, compact_json(body), {}};
}

// The envelope the service signs: "data" as raw text, directly followed by ",\"hmac\":".
HttpResponse Aggregator::answer(const std::string& command, const std::string& key,
                                std::string data_json) {
    const Fault fault = fault_for(command);
    if (fault == Fault::empty_data) data_json = "{}";
    std::string signature = hmac_md5_hex(data_json, key);
    if (fault == Fault::bad_signature) signature[0] = signature[0] == '0' ? '1' : '0';
    std::string body = "{\"result\":\"1\",\"data\":" + data_json;
    if (fault != Fault::unsigned_answer) body += ",\"hmac\":\"" + signature + "\"";
    if (fault == Fault::duplicate_data) {
        // A second "data" after the signed one: paid, for a higher amount.
        Json::Value forged;
        Json::Reader().parse(data_json, forged);
        forged["status"] = "SUCCESS";
        forged["amount"] = "999.00";
        body += ",\"data\":" + compact_json(forged);
    }
    if (fault == Fault::oversized_body) {
        body += ",\"padding\":\"" + std::string(kOversizedBody - body.size(), 'x') + "\"";
    }
    body += "}";
    HttpResponse response{200, body, {}};
    if (fault == Fault::slow) response.delay = delay_;
    return response;
}

std::string Aggregator::order_details(const std::string& command, const Order& order,
                                      const std::string& merchant) const {
    const bool other_order = fault_for(command) == Fault::other_order;
    Json::Value data;
    if (fault_for("AGENTQUERY") == Fault::unknown_status) {
        data["status"] = "CLOSED";
    } else {
        data["status"] = other_order ? "SUCCESS" : order.status;
    }
    data["customerName"] = merchant;
    data["requestId"] = other_order ? "OTHER" : as_utf8(order.request_id);
    data["orderAmount"] = order.amount;
    data["amount"] = order.amount;
    data["saveAmount"] = "0.00";
    data["orderTime"] = order.order_time;
    data["refundTime"] = order.refund_time;
    data["bankOrderNo"] = order.bank_order_no;
    return compact_json(data);
}

HttpResponse Aggregator::handle(const HttpRequest& request) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const Parameters parameters = parameters_of(request);
    const std::string command = value_of(parameters, "cmd");
    if (answer_hook_) {
        const std::string id = value_of(parameters, "requestId");
        const auto found = orders_.find(id);
        answer_fault_ =
            answer_hook_(command, id, found == orders_.end() ? nullptr : &found->second);
    }
    HttpResponse response = respond(request);
    response.delivery = delivery_for(fault_for(command));
    answer_fault_.reset();
    return response;
}

HttpResponse Aggregator::respond(const HttpRequest& request) {
    const Parameters parameters = parameters_of(request);
    for (const auto& [name, value] : parameters) {
        if (!utf8_from_gbk(value)) return refusal(u8"参数不是GBK文本: " + name, "ENCODING");
    }
    const std::string command = value_of(parameters, "cmd");
    const auto sign_order = sign_orders().find(command);
    if (sign_order == sign_orders().end()) return refusal(u8"未知命令", "CMD");

    std::string key;
    std::string merchant;
    if (command == "MACHINECREATEORDER") {
        const auto machine = machines_.find(value_of(parameters, "machineNo"));
        if (machine == machines_.end()) return refusal(u8"机具不存在", "MACHINE");
        key = machine->second;
    } else {
        const auto agent = agents_.find(value_of(parameters, "agentNo"));
        if (agent == agents_.end()) return refusal(u8"商户不存在", "AGENT");
        key = agent->second.key;
        merchant = agent->second.merchant_name;
    }

    std::string sign_text = command;
    for (const std::string& name : sign_order->second) sign_text += value_of(parameters, name);
    if (sign_text.size() > kMaxSignText) sign_text.resize(kMaxSignText);
    if (!same_signature(value_of(parameters, "hmac"), hmac_md5_hex(sign_text, key))) {
        return refusal(u8"签名错误", "SIGN");
    }

    switch (fault_for(command)) {
        case Fault::server_error:
            return HttpResponse{500, "{}", {}};
        case Fault::refuse_with_message:
            return refusal(refusal_message_, refusal_code_);
        case Fault::refuse_with_code:
            return refusal("", refusal_code_);
        default:
            break;
    }
    if (command == "AGENTWXSCANPAY") return scan_pay(parameters, key);
    if (command == "AGENTQUERY") return query(parameters, key, merchant);
    if (command == "AGENTREFUND") return refund(parameters, key, merchant);
    return create_order(parameters, key, command == "MACHINECREATEORDER" ? "machineNo" : "agentNo");
}

HttpResponse Aggregator::scan_pay(const Parameters& parameters, const std::string& key) {
    const std::string request_id = value_of(parameters, "requestId");
    if (orders_.count(request_id) != 0) return refusal(u8"订单号重复", "DUPLICATE");
    if (value_of(parameters, "authCode").empty()) return refusal(u8"付款码无效", "AUTHCODE");
    Order order;
    order.request_id = request_id;
    order.agent_no = value_of(parameters, "agentNo");
    order.shop_no = value_of(parameters, "shopNo");
    order.amount = value_of(parameters, "amount");
    order.status = "INIT";
    order.order_time = now_text();
    orders_[request_id] = order;

    Json::Value data;
    data["requestId"] = as_utf8(request_id);
    data["status"] = order.status;
    return answer("AGENTWXSCANPAY", key, compact_json(data));
}

Order* Aggregator::agent_order(const Parameters& parameters) {
    const auto found = orders_.find(value_of(parameters, "requestId"));
    if (found == orders_.end() || found->second.agent_no != value_of(parameters, "agentNo")) {
        return nullptr;
    }
    return &found->second;
}

HttpResponse Aggregator::query(const Parameters& parameters, const std::string& key,
                               const std::string& merchant) {
    Order* const found = agent_order(parameters);
    if (found == nullptr) return refusal(u8"订单不存在", "NOTFOUND");
    Order& order = *found;
    ++order.queries;
    if (order.status == "INIT" && order.url.empty() && paid_after_queries_ > 0 &&
        order.queries >= paid_after_queries_) {
        char bank_order[16];
        std::snprintf(bank_order, sizeof bank_order, "42000%07d", next_bank_order_++);
        order.status = "SUCCESS";
        order.bank_order_no = bank_order;
    }
    return answer("AGENTQUERY", key, order_details("AGENTQUERY", order, merchant));
}

HttpResponse Aggregator::refund(const Parameters& parameters, const std::string& key,
                                const std::string& merchant) {
    Order* const found = agent_order(parameters);
    if (found == nullptr) return refusal(u8"订单不存在", "NOTFOUND");
    Order& order = *found;
    if (order.status != "SUCCESS") return refusal(u8"订单状态不允许退款", "E20");
    order.status = "REFUND";
    order.refund_time = now_text();
    return answer("AGENTREFUND", key, order_details("AGENTREFUND", order, merchant));
}

HttpResponse Aggregator::create_order(const Parameters& parameters, const std::string& key,
                                      const std::string& owner_field) {
    const std::string request_id = value_of(parameters, "requestId");
    if (orders_.count(request_id) != 0) return refusal(u8"订单号重复", "DUPLICATE");
    Order order;
    order.request_id = request_id;
    order.agent_no = value_of(parameters, owner_field);
    order.shop_no = value_of(parameters, "shopNo");
    order.amount = value_of(parameters, "amount");
    order.description = value_of(parameters, "description");
    order.extra_info = value_of(parameters, "extraInfo");
    order.status = "INIT";
    order.order_time = now_text();
    order.url =
        "http://127.0.0.1:" + std::to_string(server_.port()) + "/pay/qr/" + as_utf8(request_id);
    if (fault_for(value_of(parameters, "cmd")) == Fault::long_url) {
        order.url += "?t=" + std::string(kLongUrl - order.url.size() - 3, 'x');
    }
    orders_[request_id] = order;

    Json::Value data;
    data["requestId"] = as_utf8(request_id);
    data["url"] = order.url;
    return answer(value_of(parameters, "cmd"), key, compact_json(data));
}

}  // namespace aggregator
