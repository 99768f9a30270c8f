#include "request_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "gbk_characters.h"

using namespace vortal;

namespace {

struct Parsed {
    bool accepted;
    TransRequest request;
    RefusedField refused;
};

// accepted: the text is not unreadable and no field is refused.
Parsed parse(const std::string& input) {
    Parsed parsed{};
    std::memset(&parsed.request, 0, sizeof parsed.request);
    parsed.accepted =
        parse_request(input.c_str(), parsed.request, parsed.refused) != ParseOutcome::unreadable;
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

TEST(RequestParser, StopsAtAMissingBarKeepingWhatItTookAndRefusesAFieldTooLong) {
    Parsed unterminated = parse("Z4|A1|key|R1");
    ASSERT_TRUE(unterminated.accepted);
    EXPECT_STREQ(unterminated.request.sign_key, "key");
    EXPECT_STREQ(unterminated.request.request_id, "");

    Parsed long_agent = parse("Z4|" + std::string(50, 'a') + "|key|R1|");
    EXPECT_STREQ(long_agent.refused.name, "代理商号") << "refused, not dropped";
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

// Fields of random characters, those whose trail byte is "|", "\" or "}" among them, come back
// whole. One byte more than the record holds, or a last field ending in a lead byte that takes
// the text's last "|" for its trail byte, refuses the text by the field's name.
TEST(RequestParser, GbkFieldsComeBackWholeOrRefuseTheTextByName) {
    std::vector<std::string> pieces = {"a", "1", "\\", "}", "張"};
    for (const char* character : test_support::kTrailByteCharacters) pieces.push_back(character);
    const std::size_t widths[] = {50, 150, 50, 50, 150};
    const char* names[] = {"代理商号", "密钥", "金额", "商品描述", "附加信息"};
    std::mt19937 random(33);  // the seed of every run
    auto text_of = [&](std::size_t longest) {
        std::string text;
        for (std::size_t length = random() % (longest + 1);;) {
            const std::string& piece = pieces[random() % pieces.size()];
            if (text.size() + piece.size() > length) return text;
            text += piece;
        }
    };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string fields[5];
        for (std::size_t i = 0; i < 5; ++i) fields[i] = text_of(widths[i] - 1);
        auto text = [&fields] {
            std::string joined = "Z3|";
            for (const std::string& field : fields) joined += field + "|";
            return joined;
        };
        const TransRequest r = parse(text()).request;
        EXPECT_EQ(std::vector<std::string>(fields, fields + 5),
                  std::vector<std::string>(
                      {r.agent_no, r.sign_key, r.amount, r.description, r.extra_info}));

        const std::size_t changed = random() % 5;
        const std::string kept = fields[changed];
        fields[changed] += std::string(widths[changed] - kept.size(), 'x');
        const RefusedField too_long = parse(text()).refused;
        EXPECT_STREQ(too_long.name, names[changed]);
        EXPECT_EQ(too_long.longest, widths[changed] - 1);

        fields[changed] = kept;
        fields[4] = text_of(148) + static_cast<char>(0x81 + random() % 0x7E);
        EXPECT_STREQ(parse(text()).refused.name, names[4]);
        EXPECT_EQ(parse(text()).refused.longest, 0u);
    }
}
