// The substitute payment aggregator: a stand-in for the payment service for development,
// tests and the demonstration. It keeps agents, machines and orders in memory, answers the
// five commands signed the way the service signs them, and can be switched to answer
// wrongly. Usable inside a test (start on port 0, stop) and as a program.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hmac.h"
#include "http_server.h"

namespace aggregator {

enum class Fault {
    none,
    bad_signature,        // "hmac" that does not match "data"
    unsigned_answer,      // no "hmac" member
    server_error,         // HTTP 500
    refuse_with_message,  // "result" "0" with "errorMsg"
    refuse_with_code,     // "result" "0", empty "errorMsg", "errorCode"
    slow,                 // the right answer, after the configured delay
    empty_data,           // "result" "1" with "data" {}
    unknown_status,       // orders report the status "CLOSED"
    // What a real network or an attacker on the plain-HTTP path produces:
    cut_with_length,     // the answer announces its length and stops half-way
    cut_without_length,  // the answer stops half-way, without a Content-Length
    never_answer,        // the request is taken and never answered
    trickle,             // the answer comes one byte a second
    oversized_body,      // a signed answer padded to 100 KB
    chunked,             // HTTP/1.1 with the chunked transfer coding
    other_order,         // the genuine signed answer of another, paid order ("OTHER")
    duplicate_data,      // a signed answer followed by a forged second "data": paid, 999.00
    long_url,            // created orders get a payment address of 300 bytes
};

// The fault named as on the command line ("bad-signature", "never-answer", ...).
std::optional<Fault> fault_named(const std::string& name);

struct Order {
    std::string request_id;
    std::string agent_no;  // or the machine number of a machine order
    std::string shop_no;
    std::string amount;
    std::string status;  // "INIT", "SUCCESS" or "REFUND"
    std::string order_time;
    std::string refund_time;
    std::string bank_order_no;
    std::string description;
    std::string extra_info;
    std::string url;  // payment address of a created order
    int queries = 0;
};

class Aggregator {
  public:
    Aggregator();
    // Before start: answer over TLS only (see HttpServer::use_tls).
    void use_tls(const std::string& certificate_file, const std::string& key_file) {
        server_.use_tls(certificate_file, key_file);
    }
    std::uint16_t start(std::uint16_t port = 0);
    void stop();
    std::uint16_t port() const { return server_.port(); }

    void add_agent(const std::string& agent_no, const std::string& key,
                   const std::string& merchant_name = u8"泽瑞诺烘焙");
    void add_machine(const std::string& machine_no, const std::string& key);

    // Scan-pay orders turn from INIT to SUCCESS at their n-th query; 0 keeps them unpaid.
    void set_paid_after_queries(int queries);
    // An empty command switches every command.
    void set_fault(const std::string& command, Fault fault);
    void set_refusal(const std::string& error_message, const std::string& error_code);
    void set_delay(std::chrono::milliseconds delay);
    // A test's say in each answer, asked before the service acts on a request: given the
    // command, the request id and the order of that id (null when there is none), which it may
    // change, it returns the fault of this one answer.
    using AnswerHook =
        std::function<Fault(const std::string& command, const std::string& id, Order* order)>;
    void set_answer_hook(AnswerHook hook);

    void put_order(const Order& order);
    std::optional<Order> order(const std::string& request_id) const;

    std::vector<RecordedExchange> exchanges() const { return server_.exchanges(); }
    std::vector<std::string> targets() const;
    void clear_exchanges() { server_.clear_exchanges(); }

    HttpResponse handle(const HttpRequest& request);

  private:
    using Parameters = std::map<std::string, std::string>;

    HttpResponse respond(const HttpRequest& request);
    Fault fault_for(const std::string& command) const;
    HttpResponse answer(const std::string& command, const std::string& key, std::string data_json);
    HttpResponse refusal(const std::string& message, const std::string& code = "") const;
    std::string order_details(const std::string& command, const Order& order,
                              const std::string& merchant) const;

    // The order named by "requestId" when it belongs to the agent "agentNo".
    Order* agent_order(const Parameters& parameters);

    HttpResponse scan_pay(const Parameters& parameters, const std::string& key);
    HttpResponse query(const Parameters& parameters, const std::string& key,
                       const std::string& merchant);
    HttpResponse refund(const Parameters& parameters, const std::string& key,
                        const std::string& merchant);
    HttpResponse create_order(const Parameters& parameters, const std::string& key,
                              const std::string& owner_field);

    struct Agent {
        std::string key;
        std::string merchant_name;
    };

    HttpServer server_;
    mutable std::mutex mutex_;
    std::map<std::string, Agent> agents_;
    std::map<std::string, std::string> machines_;  // machine number -> key
    std::map<std::string, Order> orders_;
    std::map<std::string, Fault> faults_;
    AnswerHook answer_hook_;
    std::optional<Fault> answer_fault_;  // the hook's, for the request being answered
    std::string refusal_message_ = u8"交易被拒绝";
    std::string refusal_code_ = "E12";
    std::chrono::milliseconds delay_{200};
    int paid_after_queries_ = 1;
    int next_bank_order_ = 1;
};

}  // namespace aggregator
