// The Windows HTTP client as the library drives it, against a one-connection socket server
// of this test program: what reaches the wire, the status and body rules, the time-outs.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "debugger_output.h"
#include "http_failure_lines.h"
#include "http_get.h"

namespace {

// Takes one connection, reads its request head and answers with the given pieces, a moment
// apart, or with nothing at all until it goes when there is no answer.
class OneConnectionServer {
  public:
    explicit OneConnectionServer(std::string answer)
        : OneConnectionServer(std::vector<std::string>{std::move(answer)}) {}
    explicit OneConnectionServer(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port_ = ntohs(address.sin_port);
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { serve(); });
    }
    ~OneConnectionServer() {
        SetEvent(stop_);
        closesocket(listener_);
        thread_.join();
        CloseHandle(stop_);
        WSACleanup();
    }
    OneConnectionServer(const OneConnectionServer&) = delete;
    OneConnectionServer& operator=(const OneConnectionServer&) = delete;

    std::uint16_t port() const { return port_; }
    // The request head as it arrived; complete once the client has its answer.
    std::string head() const { return head_; }

  private:
    void serve() {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char chunk[4096];
        while (head_.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(client, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            head_.append(chunk, static_cast<std::size_t>(got));
        }
        if (pieces_.front().empty()) {
            WaitForSingleObject(stop_, INFINITE);
        } else {
            for (const std::string& piece : pieces_) {
                if (&piece != &pieces_.front() &&
                    WaitForSingleObject(stop_, 100) == WAIT_OBJECT_0) {
                    break;
                }
                send(client, piece.data(), static_cast<int>(piece.size()), 0);
            }
            shutdown(client, SD_SEND);
        }
        closesocket(client);
    }

    std::vector<std::string> pieces_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    HANDLE stop_ = nullptr;
    std::string head_;
    std::thread thread_;
};

std::string http_answer(const std::string& status, const std::string& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

struct Got {
    std::uint32_t length;
    std::string body;
    std::string debug;
};

Got get(std::uint16_t port, const char* address) {
    char body[4096] = {};
    test_support::DebuggerOutput debug;
    const std::uint32_t length =
        vortal::http_get("127.0.0.1", vortal::Protocol::http, port, address, "", body, sizeof body);
    return Got{length, body, debug.take()};
}

}  // namespace

// The request address goes to WinINet as built and signed; WinINet encodes a blank as "%20"
// and turns a backslash into a slash on the way, which docs/windows.md tells.
TEST(WindowsHttpClient, SendsAnHttp10GetOfTheAddressWithTheBytesWinInetRewrites) {
    OneConnectionServer server(http_answer("200 OK", R"({"result":"1"})"));
    const Got got =
        get(server.port(), "/pay/api?cmd=Q&description=\xb5\xb0\xb8\xe2 8&x=%41&p=a\\b");
    EXPECT_EQ(got.length, 14u);
    EXPECT_EQ(got.body, R"({"result":"1"})");
    EXPECT_EQ(got.debug, "");
    const std::string head = server.head();
    EXPECT_EQ(head.substr(0, head.find("\r\n")),
              "GET /pay/api?cmd=Q&description=\xb5\xb0\xb8\xe2%208&x=%41&p=a/b HTTP/1.0");
}

TEST(WindowsHttpClient, OtherStatusesFail) {
    OneConnectionServer server(http_answer("404 Not Found", "error page"));
    const Got got = get(server.port(), "/x");
    EXPECT_EQ(got.length, 0u);
    EXPECT_EQ(got.debug, test_support::kStatusNotOkLine);
}

// The body is read to its end, in as many pieces as it comes in; one that does not fit the
// buffer or stops before its announced length is a failed read, not a shorter answer.
TEST(WindowsHttpClient, ReadsTheWholeBodyAndFailsOneThatDoesNotFitOrEndsEarly) {
    const std::string full = http_answer("200 OK", std::string(4095, 'b'));
    {
        OneConnectionServer server(
            std::vector<std::string>{full.substr(0, 2000), full.substr(2000)});
        const Got got = get(server.port(), "/x");
        EXPECT_EQ(got.length, 4095u);
        EXPECT_EQ(got.body, std::string(4095, 'b'));
        EXPECT_EQ(got.debug, "");
    }
    {
        OneConnectionServer server(http_answer("200 OK", std::string(4096, 'b')));
        const Got got = get(server.port(), "/x");
        EXPECT_EQ(got.length, 0u);
        EXPECT_EQ(got.debug, test_support::kBodyTooLongLine);
    }
    OneConnectionServer server(full.substr(0, full.size() - 100));
    const Got got = get(server.port(), "/x");
    EXPECT_EQ(got.length, 0u);
    EXPECT_EQ(got.debug, test_support::kBodyCutShortLine);
}

// WinINet reads the first of several Content-Length headers and takes a number too large for
// it as something else: the library judges them all, as on POSIX.
TEST(WindowsHttpClient, ConflictingOrOverstatedLengthsFailTheRead) {
    const struct {
        const char* head;
        const char* debug;
    } cases[] = {
        {"Content-Length: 5\r\nContent-Length: 100\r\n", test_support::kBadLengthLine},
        {"Content-Length: 100\r\nContent-Length: 5\r\n", test_support::kBadLengthLine},
        {"Content-Length: 99999999999999999999999\r\n", test_support::kBodyTooLongLine},
        {"Content-Length: 4294967301\r\n", test_support::kBodyTooLongLine},
    };
    for (const auto& entry : cases) {
        OneConnectionServer server(std::string("HTTP/1.0 200 OK\r\n") + entry.head +
                                   "Connection: close\r\n\r\nhello");
        const Got got = get(server.port(), "/x");
        EXPECT_EQ(got.length, 0u) << entry.head;
        EXPECT_EQ(got.debug, entry.debug) << entry.head;
    }
}

// A server that accepts and never answers and one that sends its answer a byte every 100 ms,
// both at once, are given up at the exchange's limit of 30 s, though WinINet's own time-outs
// bound only each receive.
TEST(HttpTimeOuts, ASilentOrTricklingServerIsGivenUpAtTheLimit) {
    OneConnectionServer silent("");
    std::vector<std::string> bytes;
    for (const char c : http_answer("200 OK", std::string(400, 'b'))) bytes.emplace_back(1, c);
    OneConnectionServer trickling(bytes);
    test_support::DebuggerOutput debug;
    const DWORD started = GetTickCount();
    std::uint32_t lengths[2] = {1, 1};
    std::thread other([&] {
        char body[4096] = {};
        lengths[1] = vortal::http_get("127.0.0.1", vortal::Protocol::http, trickling.port(), "/x",
                                      "", body, sizeof body);
    });
    char body[4096] = {};
    lengths[0] = vortal::http_get("127.0.0.1", vortal::Protocol::http, silent.port(), "/x", "",
                                  body, sizeof body);
    other.join();
    EXPECT_LT(GetTickCount() - started, 31'000u);
    EXPECT_EQ(lengths[0] + lengths[1], 0u);
    EXPECT_EQ(debug.take(), std::string(test_support::kTimedOutLine) + test_support::kTimedOutLine);
}
