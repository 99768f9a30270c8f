// The two QR-code operations of the real libvortal.so against a box service stand-in on real
// POSIX shared memory and a named semaphore, and the substitute aggregator on loopback. The
// objects have fixed names: these tests never run alongside each other.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "aggregator.h"
#include "debugger_output.h"
#include "library_fixture.h"
#include "stand_in.h"

using aggregator::Fault;
using test_support::LoadedLibrary;
using test_support::Settings;
using test_support::TempDir;
using test_support::write_file;

namespace {

const std::string kAgentKey = "k3y";
const std::string kBoxKey = "SECRETKEY123";
const std::string kQrHost = "qr.example:8080";

// Log messages and result texts as GBK bytes.
const std::string kNotBuilt =
    "\xd7\xe9\xb0\xfc\xca\xa7\xb0\xdc\xa3\xac\xb2\xce\xca\xfd\xd2\xec\xb3\xa3";
const std::string kNotRecorded =
    "\xd6\xa7\xb8\xb6\xc1\xf7\xcb\xae\xce\xde\xb7\xa8\xd0\xb4\xc8\xeb\xa3\xac\xbd\xbb\xd2\xd7\xce"
    "\xb4\xb7\xa2\xcb\xcd";  // 支付流水无法写入，交易未发送
const std::string kMachineNoLog =
    "[NET]:\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xd3\xb3\xc9\xe4\xbb\xf1\xc8\xa1"
    "\xbb\xfa\xbe\xdf\xba\xc5";  // 打开文件映射获取机具号
const std::string kKeyLog = "[NET]:打开文件映射获取私钥";
const std::string kUploadSet = "[NET]:设置上传订单信息变量---成功";
const std::string kNoMachineNo = "[NET]:组建二维码地址失败 MachineNo为空 !";

std::string local_minute_prefix() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d", parts.tm_mon + 1, parts.tm_mday,
                  parts.tm_hour, parts.tm_min);
    return text;
}

std::string percent_decode(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += text[i] == '+' ? ' ' : text[i];
        }
    }
    return bytes;
}

std::string base64_decode(const std::string& text) {
    std::string bytes(text.size(), '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) return "not Base64";
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

class BoxTest : public testing::Test {
  protected:
    void SetUp() override {
        box_service::remove_objects();
        service_.add_agent("A1", kAgentKey);
        service_.add_machine("M1", kBoxKey);
        settings_.port = service_.start();
        settings_.receipt_file = receipts_.file("receipt.txt");
        library_.configure(settings_);
        write_file(box_folder_.file("Z_Config.ini"),
                   "[HOSTINFO]\r\nTwoCodeAddr=" + kQrHost + "\r\n");
        write_file(box_folder_.file("registry.ini"),
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix]\r\nPath=" + box_folder_.path().string() +
                       "\r\n");
        setenv("KORVANE_REGISTRY_FILE", box_folder_.file("registry.ini").c_str(), 1);
    }

    void TearDown() override {
        unsetenv("KORVANE_REGISTRY_FILE");
        box_service::remove_objects();
    }

    static std::unique_ptr<box_service::StandIn> start_box(
        const std::string& machine_no = "M1", const std::string& key = kBoxKey,
        std::size_t record_size = box_service::kRecordSize, bool with_event = true) {
        return std::make_unique<box_service::StandIn>(
            box_service::Setup{machine_no, key, record_size, with_event});
    }

    void switch_printing_on() {
        settings_.print = "1";
        library_.configure(settings_);
    }

    std::vector<std::string> log() const {
        return test_support::log_messages_in(box_folder_.path() / "log");
    }
    std::string receipt() const { return test_support::read_file(settings_.receipt_file); }

    // Runs the call with the debugger output captured.
    const TransResult& call_watching_debugger(const std::string& input, std::string& debug) {
        test_support::DebuggerOutput debugger;
        const TransResult& result = *library_.call(input);
        debug = debugger.take();
        return result;
    }

    static void expect_no_result(const TransResult& result) {
        EXPECT_STREQ(result.code, "");
        EXPECT_STREQ(result.message, "");
        EXPECT_STREQ(result.request_id, "");
    }

    aggregator::Aggregator service_;
    Settings settings_;
    LoadedLibrary library_;
    TempDir box_folder_;
    TempDir receipts_;
};

}  // namespace

TEST_F(BoxTest, Z6BuildsASignedPaymentAddressAndHandsTheOrderToTheBox) {
    auto box = start_box();
    // What a longer earlier order left in the record must not show through.
    std::fill(box->record(), box->record() + 96, static_cast<unsigned char>('9'));
    const std::string minute = local_minute_prefix();
    std::string debug;
    const TransResult& result = call_watching_debugger("Z6|0.01|8|", debug);

    ASSERT_STREQ(result.code, "00");
    const std::string id = result.request_id;
    EXPECT_TRUE(id == minute + "001" || id == local_minute_prefix() + "001") << id;

    const std::string address = result.message;
    const std::string prefix = "http://" + kQrHost + "/pay/n/";
    ASSERT_EQ(address.substr(0, prefix.size()), prefix);
    const std::string encoded = address.substr(prefix.size());
    EXPECT_TRUE(std::regex_match(encoded, std::regex("[A-Za-z0-9%]+"))) << encoded;
    const std::string parameters = "M1|0.01|" + id + "|8";
    const std::string signature = aggregator::hmac_md5_hex(parameters, kBoxKey);
    const std::string signed_text =
        signature.substr(0, 5) + signature.substr(27) + "|" + parameters;
    EXPECT_EQ(base64_decode(percent_decode(encoded)), signed_text);

    EXPECT_EQ(box->order().order_no, id);
    EXPECT_EQ(box->order().amount, "0.01");
    EXPECT_TRUE(std::all_of(box->record() + id.size(), box->record() + 48,
                            [](unsigned char b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(box->record() + 52, box->record() + 96,
                            [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(box->pending_uploads(), 1);

    EXPECT_EQ(log(), (std::vector<std::string>{
                         kMachineNoLog + "M1",
                         kKeyLog + "SECR****",
                         "[NET]:组建二维码地址参数Money:0.01 OrderNo:" + id + " DeskNo:8!",
                         "[NET]:组建二维码地址机具号+参数:" + parameters + "!",
                         "[NET]:组建二维码地址机具号+参数BASE64编码前" + signed_text + "!",
                         kUploadSet,
                         "[NET]:组建二维码地址为" + address + ":",
                     }));
    EXPECT_NE(debug.find("[DLL]:Qr Encode " + signed_text + "\n"), std::string::npos) << debug;
    EXPECT_NE(debug.find("加密二维码信息串 时间["), std::string::npos);
    const std::string whole_log = test_support::read_file(
        (std::filesystem::directory_iterator(box_folder_.path() / "log")->path()).string());
    EXPECT_EQ(whole_log.find(kBoxKey), std::string::npos) << "the key reaches the log";
    EXPECT_EQ(debug.find(kBoxKey), std::string::npos) << "the key reaches the debugger output";
}

TEST_F(BoxTest, Z6AllowsAnEmptyDeskNumber) {
    auto box = start_box();
    const TransResult& result = *library_.call("Z6|0.01||");
    ASSERT_STREQ(result.code, "00");
    const std::string address = result.message;
    // The signed text is 31 bytes long, so its Base64 form ends in "==".
    EXPECT_EQ(address.substr(address.size() - 6), "%3d%3d") << address;
    EXPECT_NE(log().at(3).find("M1|0.01|" + std::string(result.request_id) + "|!"),
              std::string::npos);
}

TEST_F(BoxTest, Z5HasTheServiceCreateAMachineOrder) {
    auto box = start_box();
    switch_printing_on();
    const TransResult& result = *library_.call("Z5|12.50|8|");

    ASSERT_STREQ(result.code, "00");
    const std::string id = result.request_id;
    EXPECT_TRUE(std::regex_match(id, std::regex(R"(\d{8}001)"))) << id;
    const std::string url = "http://127.0.0.1:" + std::to_string(settings_.port) + "/pay/qr/" + id;
    EXPECT_EQ(std::string(result.message), url);
    EXPECT_EQ(service_.targets(),
              std::vector<std::string>{
                  "/pay/api?cmd=MACHINECREATEORDER&machineNo=M1&requestId=" + id +
                  "&amount=12.50&&description=8&extraInfo=&hmac=" +
                  aggregator::hmac_md5_hex("MACHINECREATEORDERM1" + id + "12.508", kBoxKey)});
    EXPECT_EQ(box->order().order_no, id);
    EXPECT_EQ(box->order().amount, "12.50");
    EXPECT_EQ(box->pending_uploads(), 1);
    EXPECT_EQ(log(), (std::vector<std::string>{
                         kMachineNoLog + "M1",
                         kKeyLog + "SECR****",
                         "[NET]:组建二维码地址参数Money:12.50 OrderNo:" + id + " DeskNo:8!",
                         kUploadSet,
                         "[NET]:组建二维码地址为" + url + ":",
                     }));
    const std::string printed = receipt();
    EXPECT_NE(printed.find("生成的订单编号：" + id + "\r\n"), std::string::npos);
    EXPECT_NE(printed.find("生成的二维码：" + url + "\r\n"), std::string::npos);
}

TEST_F(BoxTest, RequestIdsComeFromTheCounterThatCreatedOrdersUse) {
    auto box = start_box();
    std::vector<std::string> ids;
    for (const char* input :
         {"Z3|A1|k3y|1.00|cake||", "Z6|0.01|8|", "Z5|0.01|8|", "Z3|A1|k3y|1.00|cake||"}) {
        const TransResult& result = *library_.call(input);
        ASSERT_STREQ(result.code, "00") << input;
        ids.push_back(result.request_id);
    }
    EXPECT_TRUE(std::regex_match(ids[0], std::regex(R"(\d{10}T1001)"))) << ids[0];
    EXPECT_TRUE(std::regex_match(ids[1], std::regex(R"(\d{8}002)"))) << ids[1];
    EXPECT_TRUE(std::regex_match(ids[2], std::regex(R"(\d{8}003)"))) << ids[2];
    EXPECT_TRUE(std::regex_match(ids[3], std::regex(R"(\d{10}T1004)"))) << ids[3];
    EXPECT_EQ(box->pending_uploads(), 2);
}

TEST_F(BoxTest, Z5ThatCannotBeBuiltLeavesTheOrderInTheRecordButDoesNotTellTheBox) {
    auto box = start_box();
    switch_printing_on();
    const TransResult& result = *library_.call("Z5|12.50||");
    EXPECT_STREQ(result.code, "01");
    EXPECT_EQ(std::string(result.message), kNotBuilt);
    EXPECT_EQ(box->order().order_no.size(), 11u);
    EXPECT_EQ(box->order().amount, "12.50");
    EXPECT_EQ(box->pending_uploads(), 0);
    EXPECT_TRUE(service_.targets().empty());
    EXPECT_EQ(log().size(), 3u) << "nothing after the order's parameters";
    EXPECT_FALSE(std::filesystem::exists(settings_.receipt_file));

    EXPECT_STREQ(library_.call("Z5|1e309|8|")->code, "01") << "an amount the service never sees";
    EXPECT_TRUE(service_.targets().empty());
    EXPECT_EQ(box->pending_uploads(), 0);
}

// A till whose journal folder cannot be written (a file stands in its way) tells the box of
// no order and asks the service for none.
TEST_F(BoxTest, NeitherOperationGoesOnWithoutItsJournalLine) {
    auto box = start_box();
    write_file(box_folder_.file("log"), "");
    for (const char* request : {"Z5|12.50|8|", "Z6|12.50|8|"}) {
        const TransResult& result = *library_.call(request);
        EXPECT_STREQ(result.code, "01") << request;
        EXPECT_EQ(std::string(result.message), kNotRecorded) << request;
    }
    EXPECT_EQ(box->pending_uploads(), 0);
    EXPECT_TRUE(service_.targets().empty());
}

TEST_F(BoxTest, Z5FailuresAreReportedAndTheBoxIsToldOnlyOfOrdersTheServiceCreated) {
    auto box = start_box();
    struct Case {
        Fault fault;
        const char* code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {Fault::server_error, "02",
         "\xcd\xf8\xc2\xe7\xc7\xeb\xc7\xf3\xb7\xa2\xcb\xcd\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xc8\xb7"
         "\xc8\xcf"
         "\xb5\xb1\xc7\xb0\xcd\xf8\xc2\xe7\xbb\xb7\xbe\xb3"},
        {Fault::bad_signature, "03", "签名数据不匹配，严重错误"},
        {Fault::refuse_with_message, "04",
         "\xbd\xbb\xd2\xd7\xb1\xbb\xbe\xdc\xbe\xf8"},  // 交易被拒绝
    };
    for (const Case& c : cases) {
        service_.set_fault("MACHINECREATEORDER", c.fault);
        const TransResult& result = *library_.call("Z5|12.50|8|");
        EXPECT_STREQ(result.code, c.code);
        EXPECT_EQ(std::string(result.message), c.message) << c.code;
        EXPECT_EQ(result.request_id, box->order().order_no) << "the till knows the order";
    }
    EXPECT_EQ(box->pending_uploads(), 0);
    EXPECT_EQ(log().size(), 3 * cases.size()) << "nothing after each order's parameters";

    // Created, but with an address the record cannot hold: no success, and the box is told.
    service_.set_fault("MACHINECREATEORDER", Fault::long_url);
    const TransResult& unaddressed = *library_.call("Z5|12.50|8|");
    EXPECT_STREQ(unaddressed.code, "05");
    EXPECT_EQ(unaddressed.request_id, box->order().order_no);
    EXPECT_EQ(box->pending_uploads(), 1);
}

TEST_F(BoxTest, WithoutAUsableBoxBothOperationsEndWithoutAResult) {
    switch_printing_on();
    auto run_both = [this](const std::vector<std::string>& expected_log, const char* what) {
        for (const char* input : {"Z6|0.01|8|", "Z5|0.01|8|"}) {
            std::filesystem::remove_all(box_folder_.path() / "log");
            expect_no_result(*library_.call(input));
            EXPECT_EQ(log(), expected_log) << what << ", " << input;
        }
        EXPECT_TRUE(service_.targets().empty());
        EXPECT_FALSE(std::filesystem::exists(settings_.receipt_file)) << what;
    };

    run_both({"[NET]:\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xd3\xb3\xc9\xe4\xca\xa7\xb0\xdc"
              "2",
              kNoMachineNo},
             "no box service");

    {
        auto small = start_box("M1", kBoxKey, 100);
        run_both({"[NET]:映射共享内存到本进程失败Error=22", kNoMachineNo}, "record too small");
    }
    {
        auto box = start_box("", kBoxKey);
        run_both({kMachineNoLog, kKeyLog + "SECR****", kNoMachineNo}, "no machine number");
        EXPECT_EQ(box->order().amount, "0.01") << "the order was written before";
        EXPECT_EQ(box->pending_uploads(), 0);
    }
    {
        auto box = start_box("M1", "");
        run_both({kMachineNoLog + "M1", kKeyLog, "[NET]:组建二维码地址失败 Key为空 !"}, "no key");
        EXPECT_EQ(box->pending_uploads(), 0);
    }
}

TEST_F(BoxTest, Z6WithoutAQrHostEndsWithoutAResultWhileZ5GoesOn) {
    auto box = start_box();
    const std::string config = box_folder_.file("Z_Config.ini");
    const std::string failure = "[NET]:获取二维码地址失败：Ini文件" + config + "!";
    for (const std::string& content :
         {std::string("[HOSTINFO]\r\nTwoCodeAddr=\r\n"), std::string()}) {
        if (content.empty()) {
            std::filesystem::remove(config);
        } else {
            write_file(config, content);
        }
        std::filesystem::remove_all(box_folder_.path() / "log");
        expect_no_result(*library_.call("Z6|0.01|8|"));
        EXPECT_EQ(log().back(), failure);
    }
    EXPECT_EQ(box->pending_uploads(), 0);
    EXPECT_STREQ(library_.call("Z5|0.01|8|")->code, "00");
}

TEST_F(BoxTest, Z6WhoseAddressWouldNotFitEndsWithoutAResult) {
    auto box = start_box(std::string(47, 'M'));
    write_file(box_folder_.file("Z_Config.ini"),
               "[HOSTINFO]\r\nTwoCodeAddr=" + std::string(127, 'q') + "\r\n");
    expect_no_result(
        *library_.call("Z6|" + std::string(49, '1') + "|" + std::string(49, '8') + "|"));
    EXPECT_EQ(log().back(), "[NET]:组建二维码地址失败 二维码地址超长 !");
    EXPECT_EQ(box->pending_uploads(), 0);
}

TEST_F(BoxTest, AMissingEventDoesNotUndoTheOperation) {
    auto box = start_box("M1", kBoxKey, box_service::kRecordSize, false);
    const TransResult& result = *library_.call("Z6|0.01|8|");
    EXPECT_STREQ(result.code, "00");
    const std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[NET]:上传订单信息互斥量无效:");
    EXPECT_EQ(lines.back(), "[NET]:组建二维码地址为" + std::string(result.message) + ":");
}
