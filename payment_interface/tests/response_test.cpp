#include "response.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "debugger_output.h"
#include "hmac.h"
#include "platform/platform.h"

using namespace vortal;

namespace {

const std::string kKey = "k3y";
const std::string kData = R"({"status":"SUCCESS","requestId":"R1"})";

std::string signed_body(const std::string& data = kData, const std::string& result = "\"1\"") {
    return "{\"result\":" + result + ",\"data\":" + data + ",\"hmac\":\"" +
           aggregator::hmac_md5_hex(data, kKey) + "\"}";
}

bool passes(const std::string& body) {
    return signature_valid(parse_answer(body), kKey);
}

}  // namespace

TEST(SignatureCheck, AcceptsOnlyTheExactSignatureOfTheRawDataText) {
    EXPECT_TRUE(passes(signed_body()));
    // Blanks inside "data" are part of what is signed.
    EXPECT_TRUE(passes(signed_body(R"({ "status" : "SUCCESS" })")));

    std::string upper = signed_body();
    const std::size_t digit = upper.find_first_of("abcdef", upper.find("\"hmac\":\"") + 8);
    upper[digit] = static_cast<char>(upper[digit] - 32);
    EXPECT_FALSE(passes(upper));

    test_support::DebuggerOutput debug;
    EXPECT_FALSE(signature_valid(parse_answer(signed_body()), "other key"));
    EXPECT_EQ(debug.take(),
              "ZRL:\xcf\xec\xd3\xa6\xca\xfd\xbe\xdd\xc7\xa9\xc3\xfb\xb2\xbb\xb6\xd4,"
              "\xd1\xcf\xd6\xd8\xc7\xe9\xbf\xf6!!!\n");
    EXPECT_FALSE(signature_valid(parse_answer(signed_body()), ""));
}

TEST(SignatureCheck, FailsWhenTheMarkersAreNotWhereTheServicePutsThem) {
    const std::string hmac = aggregator::hmac_md5_hex(kData, kKey);
    EXPECT_FALSE(passes(R"({"result":"1","hmac":")" + hmac + R"(","data":)" + kData + "}"));
    EXPECT_FALSE(passes(R"({"result":"1","data" : )" + kData + R"(,"hmac":")" + hmac + "\"}"));
    EXPECT_FALSE(passes(R"({"result":"1","data":)" + kData + R"(, "hmac":")" + hmac + "\"}"));
    EXPECT_FALSE(passes("not json"));
    EXPECT_FALSE(passes(""));
    EXPECT_FALSE(passes(R"({"result":"1","data":{},"hmac":12})"));
    EXPECT_FALSE(passes(std::string(2000, '[') + std::string(2000, ']'))) << "too deep to parse";
}

TEST(SignatureCheck, UnsignedAnswersPassOnlyWhenTheyDoNotClaimSuccess) {
    EXPECT_TRUE(passes(R"({"result":"0","errorMsg":"refused"})"));
    EXPECT_TRUE(passes(R"({"result":"0","data":{"a":"b"},"hmac":""})"));
    EXPECT_FALSE(passes(R"({"result":"1","data":{"status":"SUCCESS"}})"));
    EXPECT_FALSE(passes(R"({"result":"1","data":{"status":"SUCCESS"},"hmac":""})"));
}

TEST(SignatureCheck, WhatIsReadIsExactlyWhatWasSigned) {
    const std::string genuine = R"({"status":"INIT","amount":"1.00","requestId":"R1"})";
    const std::string hmac = aggregator::hmac_md5_hex(genuine, kKey);
    const std::string forged = R"({"status":"SUCCESS","amount":"999.00","requestId":"R1"})";
    // A second "data" after the signature, and the signed text nested in another member with
    // the forged "data" at the top.
    EXPECT_FALSE(passes(R"({"result":"1","data":)" + genuine + R"(,"hmac":")" + hmac +
                        R"(","data":)" + forged + "}"));
    EXPECT_FALSE(passes(R"({"result":"1","wrap":{"data":)" + genuine + R"(,"hmac":1},"data":)" +
                        forged + R"(,"hmac":")" + hmac + "\"}"));
    EXPECT_FALSE(passes(signed_body() + R"({"result":"1","data":)" + forged + "}"))
        << "a second answer after the first";

    // Members between "data" and "hmac" lie inside the signed text.
    const std::string extended = genuine + R"(,"note":"x")";
    const std::string body = R"({"result":"1","data":)" + extended + R"(,"hmac":")" +
                             aggregator::hmac_md5_hex(extended, kKey) + "\"}";
    const Answer answer = parse_answer(body);
    EXPECT_TRUE(signature_valid(answer, kKey));
    char status[11];
    EXPECT_EQ(read_data_text(answer, "status", status), DataRead::done);
    EXPECT_STREQ(status, "INIT");
}

TEST(SignatureCheck, NulBytesAreNeitherSignedTextNorValues) {
    const std::string raw_nul =
        std::string(R"({"status":"SUCCESS","requestId":"R1)") + '\0' + R"(OTHER"})";
    EXPECT_FALSE(passes(signed_body(raw_nul)));

    const std::string body = signed_body(R"({"status":"SUCCESS\u0000X","bankOrderNo":"1\u00002"})");
    const Answer answer = parse_answer(body);
    EXPECT_TRUE(signature_valid(answer, kKey));
    char field[13];
    EXPECT_EQ(read_data_text(answer, "status", field), DataRead::wrong_type);
    EXPECT_EQ(read_data_text(answer, "bankOrderNo", field), DataRead::wrong_type);
    char message[201];
    read_top_text(parse_answer(R"({"result":"0","errorMsg":"refused\u0000OK"})"), "errorMsg",
                  message, sizeof message);
    EXPECT_STREQ(message, "");
}

TEST(OrderTie, AnAnswerNamingAnotherOrderDoesNotConcernTheRequest) {
    auto concerns = [](const std::string& data, const char* request_id) {
        const std::string body = signed_body(data);
        return concerns_order(parse_answer(body), request_id);
    };
    EXPECT_TRUE(concerns(R"({"requestId":"R1"})", "R1"));
    EXPECT_TRUE(concerns(R"({"status":"SUCCESS"})", "R1")) << "the service may leave it out";
    EXPECT_TRUE(concerns(R"({"requestId":""})", "R1"));
    EXPECT_FALSE(concerns(R"({"requestId":"OTHER"})", "R1"));
    EXPECT_FALSE(concerns(R"({"requestId":"R1 "})", "R1"));
    EXPECT_FALSE(concerns(R"({"requestId":1})", "1")) << "not a text";
}

TEST(AnswerFlags, SuccessIsTheExactText1AndDataNeedsAMember) {
    EXPECT_TRUE(succeeded(parse_answer(R"({"result":"1"})")));
    for (const char* body : {R"({"result":"0"})", R"({"result":"1 "})", R"({"result":1})",
                             R"({"other":"1"})", R"(["1"])", "garbage"}) {
        EXPECT_FALSE(succeeded(parse_answer(body))) << body;
    }
    EXPECT_TRUE(has_data(parse_answer(R"({"data":{"a":"b"}})")));
    EXPECT_TRUE(has_data(parse_answer(R"({"data":[1]})")));
    for (const char* body : {R"({"data":{}})", R"({"data":[]})", R"({"data":null})",
                             R"({"data":"text"})", R"({"data":5})", R"({})"}) {
        EXPECT_FALSE(has_data(parse_answer(body))) << body;
    }
}

TEST(TextReaders, TopLevelTextsAreConvertedAndCutDataTextsDroppedWhenTooLong) {
    char message[201];
    const std::string chinese = u8"交易被拒绝";  // 15 bytes in UTF-8, 10 in GBK
    read_top_text(parse_answer(R"({"errorMsg":")" + chinese + "\"}"), "errorMsg", message,
                  sizeof message);
    EXPECT_STREQ(message, "\xbd\xbb\xd2\xd7\xb1\xbb\xbe\xdc\xbe\xf8");

    read_top_text(parse_answer(R"({"errorMsg":")" + std::string(230, 'e') + "\"}"), "errorMsg",
                  message, sizeof message);
    EXPECT_EQ(std::string(message), std::string(200, 'e'));
    read_top_text(parse_answer(R"({"errorMsg":")" + std::string(300, 'e') + "\"}"), "errorMsg",
                  message, sizeof message);
    EXPECT_STREQ(message, "") << "does not fit the 260-byte conversion area";

    char bank_order[13];
    EXPECT_EQ(read_data_text(parse_answer(R"({"data":{"bankOrderNo":"123456789012"}})"),
                             "bankOrderNo", bank_order),
              DataRead::done);
    EXPECT_STREQ(bank_order, "123456789012");
    read_data_text(parse_answer(R"({"data":{"bankOrderNo":"1234567890123"}})"), "bankOrderNo",
                   bank_order);
    EXPECT_STREQ(bank_order, "");
}

TEST(TextReaders, BooleansAndNullReadAsTextOtherTypesAreReported) {
    char field[13];
    const Answer answer =
        parse_answer(R"({"data":{"yes":true,"none":null,"number":12.5,"list":["a"],"object":{}}})");
    EXPECT_EQ(read_data_text(answer, "yes", field), DataRead::done);
    EXPECT_STREQ(field, "true");
    EXPECT_EQ(read_data_text(answer, "none", field), DataRead::done);
    EXPECT_STREQ(field, "");
    EXPECT_EQ(read_data_text(answer, "missing", field), DataRead::done);
    EXPECT_EQ(read_data_text(answer, "number", field), DataRead::wrong_type);
    EXPECT_EQ(read_data_text(answer, "list", field), DataRead::wrong_type);
    EXPECT_EQ(read_data_text(answer, "object", field), DataRead::wrong_type);
    EXPECT_EQ(read_data_text(parse_answer(R"({"data":["a"]})"), "status", field),
              DataRead::wrong_type);
    EXPECT_EQ(read_data_text(parse_answer("nope"), "status", field), DataRead::unparsed);
}

TEST(TextConversion, GoesThroughUtf16IntoAtMost260Bytes) {
    char area[260];
    EXPECT_EQ(platform::utf8_to_ansi(u8"泽瑞诺烘焙", area, sizeof area), 10u);
    EXPECT_STREQ(area, "\xd4\xf3\xc8\xf0\xc5\xb5\xba\xe6\xb1\xba");

    // No GBK form (an emoji, outside the 16-bit range) and invalid UTF-8 both become one "?"
    // per character, on every platform.
    EXPECT_EQ(platform::utf8_to_ansi("a\xF0\x9F\x98\x80"
                                     "b",
                                     area, sizeof area),
              3u);
    EXPECT_STREQ(area, "a?b");
    platform::utf8_to_ansi(
        "a\xFF"
        "b",
        area, sizeof area);
    EXPECT_STREQ(area, "a?b");

    EXPECT_EQ(platform::utf8_to_ansi(std::string(259, 'x'), area, sizeof area), 259u);
    EXPECT_EQ(platform::utf8_to_ansi(std::string(260, 'x'), area, sizeof area), 0u);
    EXPECT_STREQ(area, "");
}
