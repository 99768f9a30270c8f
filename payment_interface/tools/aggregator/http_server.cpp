#include "http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/crypto.h>
#include <poll.h>
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

bool send_all(int socket, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
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

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {}

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

void HttpServer::deliver(int client, const HttpResponse& response) {
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
        send_all(client, answer);
        return;
    }
    for (const char byte : answer) {
        if (!send_all(client, std::string_view(&byte, 1)) ||
            !wait_before_answer(std::chrono::seconds(1))) {
            return;
        }
    }
}

void HttpServer::serve(int client) {
    timeval receive_timeout{5, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
        const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        head.append(chunk, static_cast<std::size_t>(got));
    }
    RecordedExchange exchange;
    exchange.received = std::chrono::steady_clock::now();
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
    ::shutdown(client, SHUT_WR);
    while (::recv(client, chunk, sizeof chunk, 0) > 0) {
    }
}

}  // namespace aggregator
