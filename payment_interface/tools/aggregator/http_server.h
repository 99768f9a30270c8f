// A small HTTP/1.0 server on loopback for the substitute aggregator, plain or over TLS. It
// takes the request target exactly as it arrives, raw spaces and GBK bytes included, which
// general-purpose servers refuse, and records every exchange.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace aggregator {

struct HttpRequest {
    std::string method;
    std::string target;  // byte for byte as received
    std::string version;
    std::string head;  // the whole request head, request line and header lines
};

// How an answer goes out: the faults of a real network besides the whole answer.
enum class Delivery {
    whole,               // HTTP/1.0 with Content-Length, then the whole body
    cut_with_length,     // announces the whole body, closes after half of it
    cut_without_length,  // no Content-Length, closes after half of the body
    chunked,             // HTTP/1.1 with the chunked transfer coding, complete
    trickle,             // the whole answer, one byte a second
    never,               // takes the request and never answers
    raw,                 // the body is the whole answer, head included, sent as it stands
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};  // before the answer goes out
    Delivery delivery = Delivery::whole;
};

struct RecordedExchange {
    HttpRequest request;
    bool tls_resumed = false;  // over TLS: the client resumed an earlier session
    std::chrono::steady_clock::time_point received;
    std::chrono::steady_clock::time_point answered;  // just before the answer went out
};

class HttpServer {
  public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before start: serve TLS with the certificate (PEM, with any intermediate certificates
    // after it) and its private key (PEM). Throws when they cannot be used.
    void use_tls(const std::string& certificate_file, const std::string& key_file);

    // Listens on 127.0.0.1; port 0 takes a free one. Returns the port; throws on failure.
    std::uint16_t start(std::uint16_t port = 0);
    void stop();
    std::uint16_t port() const { return port_; }

    std::vector<RecordedExchange> exchanges() const;
    void clear_exchanges();

  private:
    void accept_loop();
    void serve(int client);
    // False when the server stops meanwhile.
    bool wait_before_answer(std::chrono::milliseconds delay);
    class Channel;
    void deliver(Channel& client, const HttpResponse& response);

    Handler handler_;
    std::shared_ptr<SSL_CTX> tls_;
    int listener_ = -1;
    int wake_pipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int active_clients_ = 0;
    std::vector<RecordedExchange> exchanges_;
};

}  // namespace aggregator
