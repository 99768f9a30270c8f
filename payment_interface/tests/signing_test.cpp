#include "signing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "hmac.h"
#include "registry_support.h"

using namespace vortal;

namespace {

TransRequest base_request() {
    TransRequest request;
    std::memset(&request, 0, sizeof request);
    copy_bounded(request.server_path, "/pay/api");
    copy_bounded(request.agent_no, "A1");
    copy_bounded(request.shop_no, "S1");
    copy_bounded(request.sign_key, "k3y");
    copy_bounded(request.request_id, "R1");
    copy_bounded(request.auth_code, "1300");
    copy_bounded(request.amount, "0.01");
    copy_bounded(request.description, "cake");
    return request;
}

constexpr platform::LocalTime kMarch3rd{2026, 3, 3, 9, 5, 7, 250};

platform::LocalTime march_3rd() {
    return kMarch3rd;
}

// The request ids' file goes to a folder of the test's own.
using RequestBuilders = test_support::TillFolderTest;

}  // namespace

TEST(Signature, IsHmacMd5InLowercaseHex) {
    char signature[kSignatureSize];
    ASSERT_TRUE(sign("what do ya want for nothing?", "Jefe", signature));
    EXPECT_STREQ(signature, "750c783e6ab0b503eaa86e310a5db738");  // RFC 2202, case 2
    // Case 6: a key longer than MD5's block is hashed first.
    ASSERT_TRUE(sign("Test Using Larger Than Block-Size Key - Hash Key First",
                     std::string(80, '\xAA'), signature));
    EXPECT_STREQ(signature, "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    EXPECT_FALSE(sign("", "Jefe", signature));
    EXPECT_FALSE(sign("text", "", signature));

    const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
    char hex[7];
    EXPECT_EQ(hex_encode(bytes, sizeof bytes, hex), 6u);
    EXPECT_STREQ(hex, "00ab7f");
}

TEST(Base64, IsTheStandardAlphabetWithPaddingAndNoLineBreaks) {
    char out[128];
    EXPECT_EQ(base64_encode("f", out, sizeof out), 4u);
    EXPECT_STREQ(out, "Zg==");
    base64_encode("fo", out, sizeof out);
    EXPECT_STREQ(out, "Zm8=");
    base64_encode("\xfb\xff\xbf", out, sizeof out);
    EXPECT_STREQ(out, "+/+/");
    const std::string long_text(60, 'a');  // 80 characters: no line break after 64
    EXPECT_EQ(base64_encode(long_text, out, sizeof out), 80u);
    EXPECT_EQ(std::string(out).find('\n'), std::string::npos);

    char small[5];
    EXPECT_EQ(base64_encode("foo", small, sizeof small), 4u);
    EXPECT_EQ(base64_encode("food", small, sizeof small), 0u) << "8 characters do not fit";
    EXPECT_STREQ(small, "");
}

TEST_F(RequestBuilders, QueryAndRefundAddressesCarryTheSignatureOfTheirValues) {
    Address address;
    ASSERT_TRUE(build_query(base_request(), address));
    EXPECT_EQ(std::string(address),
              "/pay/api?cmd=AGENTQUERY&agentNo=A1&shopNo=S1&requestId=R1&hmac=" +
                  aggregator::hmac_md5_hex("AGENTQUERYA1S1R1", "k3y"));
    ASSERT_TRUE(build_refund(base_request(), address));
    EXPECT_EQ(std::string(address),
              "/pay/api?cmd=AGENTREFUND&agentNo=A1&shopNo=S1&requestId=R1&hmac=" +
                  aggregator::hmac_md5_hex("AGENTREFUNDA1S1R1", "k3y"));
}

TEST_F(RequestBuilders, ScanPayIdsTakeTheTerminalNumberOrDoubleZero) {
    TransRequest request = base_request();
    copy_bounded(request.terminal_no, "T1");
    Address address;
    RequestId id;
    ASSERT_TRUE(build_scan_pay(request, march_3rd, address, id));
    EXPECT_STREQ(id, "03030905007T1");
    EXPECT_EQ(
        std::string(address),
        "/pay/api?cmd=AGENTWXSCANPAY&agentNo=A1&authCode=1300&shopNo=S1&requestId=03030905007T1"
        "&amount=0.01&hmac=" +
            aggregator::hmac_md5_hex("AGENTWXSCANPAYA11300S103030905007T10.01", "k3y"));

    request.terminal_no[0] = '\0';
    ASSERT_TRUE(build_scan_pay(request, march_3rd, address, id));
    EXPECT_STREQ(id, "0303090500700");

    copy_bounded(request.terminal_no, std::string(49, 'T'));
    ASSERT_TRUE(build_scan_pay(request, march_3rd, address, id));
    EXPECT_EQ(std::strlen(id), 47u);
}

TEST_F(RequestBuilders, CreateOrderDrawsTheCounterOnlyOnceItsValuesAreThere) {
    TransRequest request = base_request();
    copy_bounded(request.terminal_no, "T1");
    RequestIds sequence;
    Address address;
    RequestId id;

    ASSERT_TRUE(build_create_order(request, kMarch3rd, sequence, address, id));
    EXPECT_STREQ(id, "0303090507T1001");
    EXPECT_EQ(std::string(address),
              "/pay/api?cmd=AGENTCREATEORDER&agentNo=A1&shopNo=S1&requestId=0303090507T1001"
              "&amount=0.01&callbackUrl=&description=cake&extraInfo=&hmac=" +
                  aggregator::hmac_md5_hex("AGENTCREATEORDERA1S10303090507T10010.01cake", "k3y"));
    ASSERT_TRUE(build_create_order(request, kMarch3rd, sequence, address, id));
    EXPECT_STREQ(id, "0303090507T1002");

    request.description[0] = '\0';
    EXPECT_FALSE(build_create_order(request, kMarch3rd, sequence, address, id));
    copy_bounded(request.description, "cake");
    ASSERT_TRUE(build_create_order(request, kMarch3rd, sequence, address, id));
    EXPECT_STREQ(id, "0303090507T1003") << "a build refused for a missing value uses no number";

    test_support::write_file(log_file(kRequestIdsFileName), "0\t20260303090507\t999\r\n");
    request.terminal_no[0] = '\0';
    RequestIds another_load;
    ASSERT_TRUE(build_create_order(request, kMarch3rd, another_load, address, id));
    EXPECT_STREQ(id, "03030905071000");
}

// What a query parser reads as syntax, and what a client drops or rewrites, goes
// percent-encoded; GBK text goes raw. The signature covers the values as given.
TEST_F(RequestBuilders, ValuesAreSignedAsGivenSentEncodedWhereNeededAndTheSignTextIsCutAt255) {
    TransRequest request = base_request();
    copy_bounded(request.description, "蛋糕 桌8&+1%#\\\t");
    const std::string extra(140, 'x');
    copy_bounded(request.extra_info, extra);
    const std::string callback = "http://shop.example/" + std::string(80, 'c');
    copy_bounded(request.callback_url, callback);
    RequestIds sequence;
    Address address;
    RequestId id;
    ASSERT_TRUE(build_create_order(request, kMarch3rd, sequence, address, id));

    const std::string sign_text = std::string("AGENTCREATEORDERA1S1") + id + "0.01" + callback +
                                  "\xb5\xb0\xb8\xe2 \xd7\xc0\x38&+1%#\\\t" + extra;
    ASSERT_GT(sign_text.size(), 255u);
    const std::string text(address);
    EXPECT_NE(text.find("&description=\xb5\xb0\xb8\xe2%20\xd7\xc0\x38%26%2B1%25%23%5C%09&"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.size() - 32),
              aggregator::hmac_md5_hex(sign_text.substr(0, 255), "k3y"));
}

TEST_F(RequestBuilders, RefuseEmptyRequiredValuesAndLineBreaks) {
    Address address;
    for (auto clear : {+[](TransRequest& r) { r.sign_key[0] = '\0'; },
                       +[](TransRequest& r) { r.server_path[0] = '\0'; },
                       +[](TransRequest& r) { r.shop_no[0] = '\0'; },
                       +[](TransRequest& r) { r.request_id[0] = '\0'; },
                       +[](TransRequest& r) { copy_bounded(r.agent_no, "A1\r\nX-Injected: 1"); }}) {
        TransRequest request = base_request();
        clear(request);
        EXPECT_FALSE(build_query(request, address));
    }
}

TEST_F(RequestBuilders, MachineOrderPutsADoubleAmpersandBeforeTheDescription) {
    Address address;
    MachineOrder order{"/pay/api", "M1", "03070905001", "1.00", "8", "", "pk"};
    ASSERT_TRUE(build_machine_order(order, address));
    EXPECT_EQ(std::string(address),
              "/pay/api?cmd=MACHINECREATEORDER&machineNo=M1&requestId=03070905001&amount=1.00"
              "&&description=8&extraInfo=&hmac=" +
                  aggregator::hmac_md5_hex("MACHINECREATEORDERM1030709050011.008", "pk"));
    order.description = "";
    EXPECT_FALSE(build_machine_order(order, address));
}

TEST_F(RequestBuilders, AmountsArePositiveDecimalsOfAtMostTwoPlacesThatFitTheRecord) {
    for (const char* amount : {"0.01", "25", "25.5", "123456789.12", "007.00"})
        EXPECT_TRUE(valid_amount(amount)) << amount;
    for (const char* amount : {"", "0", "0.00", "-0.01", "+1", "1e309", "nan", "inf", "0x10",
                               "1,00", "１", ".5", "5.", "1.005", " 1", "1234567890.12"})
        EXPECT_FALSE(valid_amount(amount)) << amount;
    EXPECT_FALSE(valid_amount(std::string(200, '9')));

    TransRequest request = base_request();
    copy_bounded(request.amount, "-0.01");
    RequestIds sequence;
    Address address;
    RequestId id;
    EXPECT_FALSE(build_scan_pay(request, march_3rd, address, id));
    EXPECT_FALSE(build_create_order(request, kMarch3rd, sequence, address, id));
    EXPECT_FALSE(std::filesystem::exists(log_file(kRequestIdsFileName)))
        << "a build refused for its amount uses no number";
    EXPECT_FALSE(
        build_machine_order({"/pay/api", "M1", "03070905001", "nan", "8", "", "pk"}, address));
}
