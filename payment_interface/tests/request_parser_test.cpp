#include "request_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace vortal;

namespace {

struct Parsed {
    bool accepted;
    TransRequest request;
};

Parsed parse(const std::string& input) {
    Parsed parsed{};
    std::memset(&parsed.request, 0, sizeof parsed.request);
    parsed.accepted = parse_request(input.c_str(), parsed.request);
    return parsed;
}

}  // namespace

TEST(RequestParser, TakesTheFieldsOfEachOperationInOrder) {
    Parsed query = parse("Z4|A1|key|R1|");
    ASSERT_TRUE(query.accepted);
    EXPECT_EQ(query.request.operation, Operation::query);
    EXPECT_STREQ(query.request.agent_no, "A1");
    EXPECT_STREQ(query.request.sign_key, "key");
    EXPECT_STREQ(query.request.request_id, "R1");

    Parsed scan_pay = parse("Z1|A1|key|1300|0.01|C9|");
    EXPECT_EQ(scan_pay.request.operation, Operation::scan_pay);
    EXPECT_STREQ(scan_pay.request.auth_code, "1300");
    EXPECT_STREQ(scan_pay.request.amount, "0.01");
    EXPECT_STREQ(scan_pay.request.cashier_no, "C9");

    Parsed create = parse("Z3|A1|key|1.00|蛋糕 桌8||");
    EXPECT_EQ(create.request.operation, Operation::create_order);
    EXPECT_STREQ(create.request.description, "\xb5\xb0\xb8\xe2\x20\xd7\xc0\x38");
    EXPECT_STREQ(create.request.extra_info, "");

    EXPECT_EQ(parse("Z2|A1|key|R1|C9|").request.operation, Operation::refund);
    EXPECT_EQ(parse("Z5|1.00|8|").request.operation, Operation::machine_order);
    EXPECT_STREQ(parse("Z6|1.00|8|").request.description, "8");
}

TEST(RequestParser, StopsAtAMissingBarOrAFieldTooLongAndKeepsWhatItTook) {
    Parsed unterminated = parse("Z4|A1|key|R1");
    ASSERT_TRUE(unterminated.accepted);
    EXPECT_STREQ(unterminated.request.sign_key, "key");
    EXPECT_STREQ(unterminated.request.request_id, "");

    Parsed long_agent = parse("Z4|" + std::string(50, 'a') + "|key|R1|");
    ASSERT_TRUE(long_agent.accepted);
    EXPECT_STREQ(long_agent.request.agent_no, "");
    EXPECT_STREQ(long_agent.request.sign_key, "");

    Parsed longest_agent = parse("Z4|" + std::string(49, 'a') + "|key|R1|");
    EXPECT_EQ(std::strlen(longest_agent.request.agent_no), 49u);

    Parsed extra = parse("Z4|A1|key|R1|more|");
    EXPECT_STREQ(extra.request.request_id, "R1");
}

TEST(RequestParser, UnknownTokensAreAcceptedWithoutOperation) {
    for (const char* input : {"Z9|A1|", "z4|A1|key|R1|", "|"}) {
        Parsed parsed = parse(input);
        EXPECT_TRUE(parsed.accepted) << input;
        EXPECT_EQ(parsed.request.operation, Operation::none) << input;
        EXPECT_STREQ(parsed.request.agent_no, "") << input;
    }
}

TEST(RequestParser, RefusesEmptyOverlongOrTokenlessTexts) {
    EXPECT_FALSE(parse("").accepted);
    EXPECT_FALSE(parse("Z4").accepted);
    EXPECT_FALSE(parse(std::string(260, 'Z') + "|").accepted);
    EXPECT_TRUE(parse(std::string(259, 'Z') + "|").accepted);

    const std::string longest = "Z4|A1|key|R1|" + std::string(4096 - 13, 'x');
    EXPECT_TRUE(parse(longest).accepted);
    EXPECT_FALSE(parse(longest + "x").accepted);
}
