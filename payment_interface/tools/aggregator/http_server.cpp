#include "http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace aggregator {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;

const char* reason_phrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

// Request line: method, one blank, the target, one blank, the version. The target is what
// lies between the first and the last blank, so blanks inside it survive.
bool parse_head(const std::string& head, HttpRequest& request) {
    const std::size_t line_end = head.find("\r\n");
    const std::string_view line(head.data(),
                                line_end == std::string::npos ? head.size() : line_end);
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || last <= first) return false;
    request.method = std::string(line.substr(0, first));
    request.target = std::string(line.substr(first + 1, last - first - 1));
    request.version = std::string(line.substr(last + 1));
    request.head = head;
    return true;
}

}  // namespace

// One client's connection, plain or TLS.
class HttpServer::Channel {
  public:
    Channel(int socket, SSL_CTX* tls) : socket_(socket) {
        if (tls != nullptr) ssl_ = SSL_new(tls);
    }
    ~Channel() { SSL_free(ssl_); }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // The TLS handshake; a client that refuses the certificate ends it here.
    bool open() {
        if (ssl_ == nullptr) return true;
        return SSL_set_fd(ssl_, socket_) == 1 && SSL_accept(ssl_) == 1;
    }
    bool resumed() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

    ssize_t receive(char* buffer, std::size_t size) {
        if (ssl_ != nullptr) {
            std::size_t got = 0;
            return SSL_read_ex(ssl_, buffer, size, &got) == 1 ? static_cast<ssize_t>(got) : -1;
        }
        for (;;) {
            const ssize_t got = ::recv(socket_, buffer, size, 0);
            if (got >= 0 || errno != EINTR) return got;
        }
    }

    bool send_all(std::string_view data) {
        while (!data.empty()) {
            std::size_t sent = 0;
            if (ssl_ != nullptr) {
                if (SSL_write_ex(ssl_, data.data(), data.size(), &sent) != 1) return false;
            } else {
                const ssize_t done = ::send(socket_, data.data(), data.size(), MSG_NOSIGNAL);
                if (done < 0 && errno == EINTR) continue;
                if (done <= 0) return false;
                sent = static_cast<std::size_t>(done);
            }
            data.remove_prefix(sent);
        }
        return true;
    }

    // Ends the answer (TLS: its close_notify first), then waits for the client to close.
    void finish() {
        if (ssl_ != nullptr) SSL_shutdown(ssl_);
        ::shutdown(socket_, SHUT_WR);
        char chunk[4096];
        while (::recv(socket_, chunk, sizeof chunk, 0) > 0) {
        }
    }

  private:
    int socket_;
    SSL* ssl_ = nullptr;
};

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {}

void HttpServer::use_tls(const std::string& certificate_file, const std::string& key_file) {
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    const bool ready =
        context && SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) == 1 &&
        SSL_CTX_use_certificate_chain_file(context.get(), certificate_file.c_str()) == 1 &&
        SSL_CTX_use_PrivateKey_file(context.get(), key_file.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_check_private_key(context.get()) == 1;
    if (!ready) {
        char reason[256] = {};
        ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
        ERR_clear_error();
        throw std::runtime_error("cannot serve TLS with " + certificate_file + " and " + key_file +
                                 ": " + reason);
    }
    tls_ = std::move(context);
}

HttpServer::~HttpServer() {
    stop();
}

std::uint16_t HttpServer::start(std::uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0) {
        ::close(listener_);
        listener_ = -1;
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wake_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    stopping_ = false;
    acceptor_ = std::thread([this] { accept_loop(); });
    return port_;
}

void HttpServer::stop() {
    if (!acceptor_.joinable()) return;
    stopping_ = true;
    const char wake = 'x';
    [[maybe_unused]] const ssize_t written = ::write(wake_pipe_[1], &wake, 1);
    acceptor_.join();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.notify_all();
        changed_.wait(lock, [this] { return active_clients_ == 0; });
    }
    ::close(listener_);
    ::close(wake_pipe_[0]);
    ::close(wake_pipe_[1]);
    listener_ = -1;
}

std::vector<RecordedExchange> HttpServer::exchanges() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

void HttpServer::clear_exchanges() {
    const std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.clear();
}

void HttpServer::accept_loop() {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    while (!stopping_) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[1].revents != 0) return;
        if ((watched[0].revents & POLLIN) == 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++active_clients_;
        }
        std::thread([this, client] {
            // A client that hangs up makes a write fail, not end the process (TLS writes
            // cannot ask for MSG_NOSIGNAL).
            sigset_t pipe_signal;
            sigemptyset(&pipe_signal);
            sigaddset(&pipe_signal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
            serve(client);
            ::close(client);
            // The thread's OpenSSL state (from signing the answer) is released here: a detached
            // thread's own end may come after the process has ended, and the state would leak.
            OPENSSL_thread_stop();
            const std::lock_guard<std::mutex> lock(mutex_);
            --active_clients_;
            changed_.notify_all();
        }).detach();
    }
}

bool HttpServer::wait_before_answer(std::chrono::milliseconds delay) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, delay, [this] { return stopping_.load(); });
}

void HttpServer::deliver(Channel& client, const HttpResponse& response) {
    if (response.delivery == Delivery::raw) {
        client.send_all(response.body);
        return;
    }
    const bool chunked = response.delivery == Delivery::chunked;
    std::string answer = (chunked ? "HTTP/1.1 " : "HTTP/1.0 ") + std::to_string(response.status) +
                         " " + reason_phrase(response.status) + "\r\n";
    answer += "Content-Type: application/json; charset=utf-8\r\n";
    if (chunked) {
        answer += "Transfer-Encoding: chunked\r\n";
    } else if (response.delivery != Delivery::cut_without_length) {
        answer += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    answer += "Connection: close\r\n\r\n";

    switch (response.delivery) {
        case Delivery::cut_with_length:
        case Delivery::cut_without_length:
            answer += response.body.substr(0, response.body.size() / 2);
            break;
        case Delivery::chunked: {
            constexpr std::size_t kChunk = 16;
            for (std::size_t at = 0; at < response.body.size(); at += kChunk) {
                const std::string chunk = response.body.substr(at, kChunk);
                char size[16];
                std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
                answer += size + chunk + "\r\n";
            }
            answer += "0\r\n\r\n";
            break;
        }
        default:
            answer += response.body;
            break;
    }
    if (response.delivery != Delivery::trickle) {
        client.send_all(answer);
        return;
    }
    for (const char byte : answer) {
        if (!client.send_all(std::string_view(&byte, 1)) ||
            !wait_before_answer(std::chrono::seconds(1))) {
            return;
        }
    }
}

void HttpServer::serve(int socket) {
    timeval receive_timeout{5, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
    Channel client(socket, tls_.get());
    if (!client.open()) return;
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
        const ssize_t got = client.receive(chunk, sizeof chunk);
        if (got <= 0) return;
        head.append(chunk, static_cast<std::size_t>(got));
        // What cannot begin a request (a TLS handshake, say) is answered 400 at once, as web
        // servers answer it, instead of waiting for a head that never comes.
        if (head[0] < 'A' || head[0] > 'Z') break;
    }
    RecordedExchange exchange;
    exchange.received = std::chrono::steady_clock::now();
    exchange.tls_resumed = client.resumed();
    HttpResponse response;
    if (parse_head(head.substr(0, head.find("\r\n\r\n") + 2), exchange.request)) {
        response = handler_(exchange.request);
    } else {
        response.status = 400;
    }
    if (response.delay.count() > 0) wait_before_answer(response.delay);
    if (response.delivery == Delivery::never) wait_before_answer(std::chrono::hours(24));

    exchange.answered = std::chrono::steady_clock::now();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        exchanges_.push_back(exchange);
    }
    if (response.delivery != Delivery::never) deliver(client, response);
    client.finish();
}

}  // namespace aggregator
