#include "http_get.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "aggregator.h"
#include "debugger_output.h"
#include "http_failure_lines.h"
#include "http_server.h"
#include "response.h"
#include "signing.h"
#include "tiny_proxy.h"

using aggregator::HttpRequest;
using aggregator::HttpResponse;
using aggregator::HttpServer;

namespace {

class HttpGetTest : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            unsetenv(name);
        }
        port_ = server_.start();
    }

    // Calls http_get with the debugger output captured.
    std::uint32_t get(const char* host, std::uint16_t port, const char* address,
                      const char* proxy = "") {
        std::memset(body_, 0, sizeof body_);
        test_support::DebuggerOutput debugger;
        const std::uint32_t length = vortal::http_get(host, vortal::Protocol::http, port, address,
                                                      proxy, body_, sizeof body_);
        debug_ = debugger.take();
        return length;
    }

    std::string only_target(const HttpServer& server) const {
        const auto exchanges = server.exchanges();
        return exchanges.size() == 1 ? exchanges[0].request.target
                                     : "<" + std::to_string(exchanges.size()) + " requests>";
    }

    std::function<HttpResponse(const HttpRequest&)> answer_ = [](const HttpRequest&) {
        return HttpResponse{200, R"({"result":"1"})", {}};
    };
    HttpServer server_{[this](const HttpRequest& request) { return answer_(request); }};
    std::uint16_t port_ = 0;
    char body_[4096];
    std::string debug_;
};

}  // namespace

TEST_F(HttpGetTest, SendsTheAddressAsBuiltAsAnHttp10RequestNeverFromACache) {
    EXPECT_EQ(get("127.0.0.1", port_, "/pay/api?cmd=Q&description=\xb5\xb0\xb8\xe2%208&x=%41"),
              14u);
    EXPECT_STREQ(body_, R"({"result":"1"})");
    EXPECT_EQ(debug_, "");

    const auto exchanges = server_.exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].request.method, "GET");
    EXPECT_EQ(exchanges[0].request.target, "/pay/api?cmd=Q&description=\xb5\xb0\xb8\xe2%208&x=%41");
    EXPECT_EQ(exchanges[0].request.version, "HTTP/1.0");
    EXPECT_NE(exchanges[0].request.head.find("Pragma: no-cache\r\n"), std::string::npos);
}

TEST_F(HttpGetTest, OtherStatusesFailWithoutReadingTheBody) {
    for (int status : {404, 500}) {
        answer_ = [status](const HttpRequest&) { return HttpResponse{status, "error page", {}}; };
        EXPECT_EQ(get("127.0.0.1", port_, "/x"), 0u) << status;
        EXPECT_EQ(debug_, test_support::kStatusNotOkLine);
        EXPECT_EQ(body_[0], '\0');
    }
}

TEST_F(HttpGetTest, EmptyBodyIsNoAnswerButNoTransportFailure) {
    answer_ = [](const HttpRequest&) { return HttpResponse{200, "", {}}; };
    EXPECT_EQ(get("127.0.0.1", port_, "/x"), 0u);
    EXPECT_EQ(debug_, "");
}

TEST_F(HttpGetTest, BodiesThatDoNotFitOrStopEarlyAreFailedReads) {
    answer_ = [](const HttpRequest&) { return HttpResponse{200, std::string(4095, 'b'), {}}; };
    EXPECT_EQ(get("127.0.0.1", port_, "/x"), 4095u);
    EXPECT_EQ(std::strlen(body_), 4095u);
    EXPECT_EQ(debug_, "");

    answer_ = [](const HttpRequest&) { return HttpResponse{200, std::string(4096, 'b'), {}}; };
    EXPECT_EQ(get("127.0.0.1", port_, "/x"), 0u);
    EXPECT_EQ(debug_, test_support::kBodyTooLongLine);

    answer_ = [](const HttpRequest&) {
        HttpResponse response{200, std::string(200, 'b'), {}};
        response.delivery = aggregator::Delivery::cut_with_length;
        return response;
    };
    EXPECT_EQ(get("127.0.0.1", port_, "/x"), 0u);
    EXPECT_EQ(debug_, test_support::kBodyCutShortLine);
}

// Two readers of an answer whose Content-Length headers disagree may read two answers; a
// length beyond anything the buffer holds can only be cut or forged. Both fail before the
// body is taken.
TEST_F(HttpGetTest, ConflictingOrOverstatedLengthsFailTheRead) {
    auto answered_with = [this](const std::string& head) {
        answer_ = [head](const HttpRequest&) {
            HttpResponse response{200, "HTTP/1.0 200 OK\r\n" + head + "\r\nhello", {}};
            response.delivery = aggregator::Delivery::raw;
            return response;
        };
        return get("127.0.0.1", port_, "/x");
    };
    EXPECT_EQ(answered_with("Content-Length: 5\r\ncontent-length: 5\r\n"), 5u) << debug_;
    for (const char* head : {"Content-Length: 5\r\nContent-Length: 100\r\n",
                             "Content-Length: 100\r\nContent-Length: 5\r\n",
                             "Content-Length: 5, 100\r\n", "Content-Length: 5x\r\n"}) {
        EXPECT_EQ(answered_with(head), 0u) << head;
        EXPECT_EQ(debug_, test_support::kBadLengthLine) << head;
    }
    for (const char* head :
         {"Content-Length: 99999999999999999999999\r\n", "Content-Length: 4294967301\r\n"}) {
        EXPECT_EQ(answered_with(head), 0u) << head;
        EXPECT_EQ(debug_, test_support::kBodyTooLongLine) << head;
    }
}

TEST_F(HttpGetTest, UnreachableServersFailAtSending) {
    server_.stop();
    EXPECT_EQ(get("127.0.0.1", port_, "/x"), 0u);
    EXPECT_EQ(debug_, test_support::kSendFailedLine);
    EXPECT_EQ(get("vortal-no-such-host.invalid", 80, "/x"), 0u);
    EXPECT_EQ(debug_, test_support::kSendFailedLine);
}

TEST_F(HttpGetTest, ConfiguredProxyGetsTheAbsoluteFormTarget) {
    const std::string proxy = "HTTP=HTTP://127.0.0.1:" + std::to_string(port_);
    EXPECT_GT(get("pay.vortal.invalid", 8080, "/pay/api?cmd=Q", proxy.c_str()), 0u);
    EXPECT_EQ(only_target(server_), "http://pay.vortal.invalid:8080/pay/api?cmd=Q");

    server_.clear_exchanges();
    EXPECT_GT(get("pay.vortal.invalid", 80, "/pay/api?cmd=Q", proxy.c_str()), 0u);
    EXPECT_EQ(only_target(server_), "http://pay.vortal.invalid/pay/api?cmd=Q")
        << "port 80 is implied";

    // A server path without its leading "/" still makes a well-formed absolute target, and
    // port 0 means 80, as the Windows client takes it.
    server_.clear_exchanges();
    EXPECT_GT(get("pay.vortal.invalid", 0, "pay/api?cmd=Q", proxy.c_str()), 0u);
    EXPECT_EQ(only_target(server_), "http://pay.vortal.invalid/pay/api?cmd=Q");

    server_.clear_exchanges();
    EXPECT_GT(get("127.0.0.1", port_, "pay/api?cmd=Q"), 0u);
    EXPECT_EQ(only_target(server_), "pay/api?cmd=Q") << "the direct form stays as built";
}

// The builder sends a blank as "%20" because a proxy refuses a raw one in the request line: a
// description "面包 两个" reaches the service through a real proxy as it was encoded.
TEST_F(HttpGetTest, AnEncodedBlankPassesARealProxy) {
    const test_support::TinyProxy proxy;
    ASSERT_TRUE(proxy.listening()) << "tinyproxy did not start (scripts/setup installs it)";
    const std::string address = "/pay/api?cmd=Q&description=\xc3\xe6\xb0\xfc%20\xc1\xbd\xb8\xf6";
    EXPECT_EQ(get("127.0.0.1", port_, address.c_str(), proxy.proxy_text().c_str()), 14u) << debug_;
    EXPECT_EQ(only_target(server_),
              "/pay/api?cmd=Q&description=\xc3\xe6\xb0\xfc%20\xc1\xbd\xb8\xf6");
}

TEST_F(HttpGetTest, EnvironmentProxyIsUsedUnlessNoProxyCoversTheHost) {
    HttpServer proxy([](const HttpRequest&) { return HttpResponse{200, "via proxy", {}}; });
    const std::uint16_t proxy_port = proxy.start();
    setenv("http_proxy", ("127.0.0.1:" + std::to_string(proxy_port)).c_str(), 1);
    const std::string origin = "http://localhost:" + std::to_string(port_);

    setenv("no_proxy", "other.example, ocalhost", 1);
    EXPECT_GT(get("localhost", port_, "/a%20b"), 0u);
    EXPECT_STREQ(body_, "via proxy");
    EXPECT_EQ(only_target(proxy), origin + "/a%20b");

    proxy.clear_exchanges();
    setenv("no_proxy", "other.example,.LOCALHOST", 1);
    EXPECT_GT(get("localhost", port_, "/a%20b"), 0u);
    EXPECT_EQ(only_target(server_), "/a%20b");
    EXPECT_EQ(proxy.exchanges().size(), 0u);

    server_.clear_exchanges();
    setenv("no_proxy", "*", 1);
    EXPECT_GT(get("localhost", port_, "/c"), 0u);
    EXPECT_EQ(only_target(server_), "/c");
}

TEST(SubstituteAggregator, AnswersAMachineOrderSignedWithTheMachineKey) {
    aggregator::Aggregator service;
    service.add_machine("M1", "machine-key");
    const std::uint16_t port = service.start();

    vortal::Address address;
    ASSERT_TRUE(vortal::build_machine_order(
        {"/pay/api", "M1", "03070905001", "1.00", "8", "", "machine-key"}, address));
    char body[vortal::kBodySize] = {};
    const std::uint32_t length =
        vortal::http_get("127.0.0.1", vortal::Protocol::http, port, address, "", body, sizeof body);
    ASSERT_GT(length, 0u);

    const vortal::Answer answer = vortal::parse_answer(std::string_view(body, length));
    EXPECT_TRUE(vortal::signature_valid(answer, "machine-key"));
    EXPECT_TRUE(vortal::succeeded(answer));
    char url[vortal::kConversionSize];
    vortal::read_data_text(answer, "url", url);
    EXPECT_EQ(std::string(url), "http://127.0.0.1:" + std::to_string(port) + "/pay/qr/03070905001");
    EXPECT_EQ(service.order("03070905001")->agent_no, "M1");
}

// The service decodes the query as web servers do ("%XX", and "+" for a blank) and checks the
// signature over the decoded values.
TEST(SubstituteAggregator, ChecksSignaturesOverPercentDecodedValues) {
    aggregator::Aggregator service;
    service.add_agent("A1", "k3y");
    const std::uint16_t port = service.start();
    auto refusal_of = [port](const std::string& shop_as_sent, const std::string& signed_shop) {
        const std::string address =
            "/pay/api?cmd=AGENTQUERY&agentNo=A1&shopNo=" + shop_as_sent + "&requestId=R1&hmac=" +
            aggregator::hmac_md5_hex("AGENTQUERYA1" + signed_shop + "R1", "k3y");
        char body[vortal::kBodySize] = {};
        const std::uint32_t length = vortal::http_get("127.0.0.1", vortal::Protocol::http, port,
                                                      address.c_str(), "", body, sizeof body);
        char message[64] = {};
        vortal::read_top_text(vortal::parse_answer(std::string_view(body, length)), "errorMsg",
                              message, sizeof message);
        return std::string(message);
    };
    const std::string kNoOrder = "订单不存在";  // the signature passed
    EXPECT_EQ(refusal_of("S 1", "S 1"), kNoOrder);
    EXPECT_EQ(refusal_of("S%201", "S 1"), kNoOrder);
    EXPECT_EQ(refusal_of("S%2", "S%2"), kNoOrder) << "an incomplete escape stays as it is";
    EXPECT_EQ(refusal_of("S+1%2B%26", "S 1+&"), kNoOrder) << "a query decoded as a form";
    EXPECT_EQ(refusal_of("S%201", "S%201"), "签名错误");
}
