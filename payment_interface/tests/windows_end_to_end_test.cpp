// Vortal.dll under Windows (wine, code page 936) against the Linux substitute aggregator on
// loopback (port in VORTAL_AGGREGATOR_PORT, agent A1 with key "k3y", machine M1, orders paid
// at their second query) and the Windows box-service stand-in as a separate process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "library_fixture.h"
#include "registry_support.h"

using test_support::LoadedLibrary;
using test_support::Settings;
using test_support::TempDir;

namespace {

const std::string kScanPaid = "微信被扫支付成功";
const std::string kRefunded = "退款成功";
const std::string kNetwork = "网络请求发送失败，请确认当前网络环境";
const std::string kMachineNoLog = "[NET]:打开文件映射获取机具号";
const std::string kKeyLog = "[NET]:打开文件映射获取私钥";
const std::string kUploadSet = "[NET]:设置上传订单信息变量---成功";

std::uint16_t aggregator_port() {
    const char* port = std::getenv("VORTAL_AGGREGATOR_PORT");
    return port == nullptr ? 0 : static_cast<std::uint16_t>(std::atoi(port));
}

// The box-service stand-in as its own process, its output read line by line.
class BoxServiceProcess {
  public:
    BoxServiceProcess() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE write_end = nullptr;
        if (!CreatePipe(&output_, &write_end, &inherit, 0)) throw std::runtime_error("pipe");
        SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write_end;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string command = "\"" VORTAL_BOX_SERVICE_PATH "\" --machine M1 --key SECRETKEY123";
        const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, nullptr, &startup, &process_);
        CloseHandle(write_end);
        if (!started) throw std::runtime_error("cannot start the box-service stand-in");
    }
    ~BoxServiceProcess() {
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        CloseHandle(output_);
    }
    BoxServiceProcess(const BoxServiceProcess&) = delete;
    BoxServiceProcess& operator=(const BoxServiceProcess&) = delete;

    // The next line it printed, without its line end; empty when it ended.
    std::string next_line() {
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(output_, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
            if (c != '\r') line += c;
        }
        return line;
    }

  private:
    PROCESS_INFORMATION process_{};
    HANDLE output_ = nullptr;
};

// Imports the registry file with wine's (and Windows') reg.exe into the 64-bit view.
bool import_registry(const std::string& file) {
    return test_support::run_program("reg.exe", {"import", file, "/reg:64"}) == 0;
}

std::string doubled_backslashes(const std::string& text) {
    std::string doubled;
    for (const char c : text) {
        doubled += c;
        if (c == '\\') doubled += '\\';
    }
    return doubled;
}

// The box service's folder in the registry, which the daily log and the payment journal
// follow, for the life of the object. The key is removed by the registry functions, in the
// view the library reads: wine's reg.exe deletes a key in its own view whatever view it is
// given, and a 32-bit program on 64-bit Windows starts the 32-bit reg.exe. On 32-bit Windows,
// with its single view, the flag changes nothing.
class BoxServiceFolder {
  public:
    BoxServiceFolder() {
        test_support::write_file(registry_,
                                 "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix]\r\n"
                                 "\"Path\"=\"" +
                                     doubled_backslashes(path()) + "\"\r\n");
        imported_ = import_registry(registry_);
    }
    ~BoxServiceFolder() {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, test_support::kBoxServiceKey, KEY_WOW64_64KEY, 0);
    }
    BoxServiceFolder(const BoxServiceFolder&) = delete;
    BoxServiceFolder& operator=(const BoxServiceFolder&) = delete;

    bool imported() const { return imported_; }
    std::string path() const { return folder_.path().string(); }
    std::string file(const std::string& name) const { return folder_.file(name); }

  private:
    TempDir folder_;
    std::string registry_ = folder_.file("varnix.reg");
    bool imported_ = false;
};

// One library for the whole program, loaded once as the point-of-sale program loads it.
class WindowsEndToEnd : public testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = new LoadedLibrary(); }
    static void TearDownTestSuite() { delete library_; }

    void SetUp() override {
        ASSERT_NE(aggregator_port(), 0) << "VORTAL_AGGREGATOR_PORT is not set";
        settings_.port = aggregator_port();
        settings_.print = "1";
        settings_.receipt_file = receipts_.file("receipt.txt");
        library_->configure(settings_);
    }
    // What a test puts in the registry goes with it: the next one must not find it.
    void TearDown() override {
        HKEY key = nullptr;
        EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, test_support::kBoxServiceKey, 0,
                                KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
                  ERROR_SUCCESS);
        if (key != nullptr) RegCloseKey(key);
    }

    // The record's fields are copied: the next call on this thread overwrites it.
    static TransResult call(const std::string& input) { return *library_->call(input); }
    std::string receipt() const { return test_support::read_file(settings_.receipt_file); }

    static LoadedLibrary* library_;
    Settings settings_;
    TempDir receipts_;
};

LoadedLibrary* WindowsEndToEnd::library_ = nullptr;

}  // namespace

TEST_F(WindowsEndToEnd, ScanPayThenQueryAndRefundOfThePaidOrder) {
    const TransResult paid = call("Z1|A1|k3y|130000000001|0.01|張瑋|");
    ASSERT_STREQ(paid.code, "00");
    EXPECT_EQ(std::string(paid.message), kScanPaid);
    EXPECT_STREQ(paid.status, "SUCCESS");
    EXPECT_STREQ(paid.cashier_no, "張瑋");
    EXPECT_STREQ(paid.merchant_name, "泽瑞诺烘焙");
    const std::string request_id = paid.request_id;
    EXPECT_TRUE(std::regex_match(request_id, std::regex(R"(\d{11}T1)"))) << request_id;
    const std::string paid_receipt = receipt();
    EXPECT_EQ(paid_receipt.substr(0, paid_receipt.find("\r\n")),
              "泽瑞诺微信支付签购单（存根），请妥善保管");
    EXPECT_NE(paid_receipt.find("银行单号：******" + std::string(paid.bank_order_no) + "\r\n"),
              std::string::npos);

    const TransResult queried = call("Z4|A1|k3y|" + request_id + "|");
    ASSERT_STREQ(queried.code, "00");
    EXPECT_EQ(std::string(queried.message), "SUCCESS|查询订单详情成功");
    EXPECT_STREQ(queried.amount, "0.01");

    const TransResult refunded = call("Z2|A1|k3y|" + request_id + "|C7|");
    ASSERT_STREQ(refunded.code, "00");
    EXPECT_EQ(std::string(refunded.message), kRefunded);
    EXPECT_STREQ(refunded.status, "REFUND");
}

// The blank, "&", "+", "%", "#" and "\" of the description, and the characters whose trail
// byte is "\", "|" or "}" (whole), reach the service percent-encoded through WinINet; the
// service checks the signature over the decoded value, which is the one the library signed. A
// terminal number 東1 gives an id the till queries by.
TEST_F(WindowsEndToEnd, CreatedOrderWithBlanksAndQuerySyntaxInItsDescription) {
    settings_.terminal_no = "東1";
    library_->configure(settings_);
    const TransResult created = call("Z3|A1|k3y|1.00|蛋糕 桌8&+1%#\\淺縷倉|億元|");
    ASSERT_STREQ(created.code, "00") << created.message;
    const std::string id = created.request_id;
    EXPECT_EQ(std::string(created.message),
              "http://127.0.0.1:" + std::to_string(aggregator_port()) + "/pay/qr/" + id);
    const std::string printed = receipt();
    EXPECT_NE(printed.find("：" + id + "\r\n"), std::string::npos);
    EXPECT_EQ(printed.substr(printed.size() - std::strlen(created.message) - 2),
              std::string(created.message) + "\r\n");
    EXPECT_STREQ(call("Z4|A1|k3y|" + id + "|").request_id, created.request_id);
}

TEST_F(WindowsEndToEnd, RefusalsAndNetworkFailures) {
    const TransResult missing = call("Z4|A1|k3y|no-such-order|");
    EXPECT_STREQ(missing.code, "04");
    EXPECT_EQ(std::string(missing.message), "订单不存在");

    const TransResult wrong_key = call("Z4|A1|other key|R1|");
    EXPECT_STREQ(wrong_key.code, "04");
    EXPECT_EQ(std::string(wrong_key.message), "签名错误");

    settings_.port = 1;  // nothing listens there
    library_->configure(settings_);
    const TransResult unreachable = call("Z4|A1|k3y|R1|");
    EXPECT_STREQ(unreachable.code, "02");
    EXPECT_EQ(std::string(unreachable.message), kNetwork);
}

TEST_F(WindowsEndToEnd, BoxServiceOrdersThroughTheSharedRecordOfAnotherProcess) {
    const BoxServiceFolder box_folder;
    const std::string folder = box_folder.path();
    test_support::write_file(box_folder.file("Z_Config.ini"),
                             "[HOSTINFO]\r\nTwoCodeAddr=qr.example:8080\r\n");
    ASSERT_TRUE(box_folder.imported());

    BoxServiceProcess box;
    ASSERT_EQ(box.next_line(), "ready: machine M1");

    const TransResult address = call("Z6|0.01|8|");
    ASSERT_STREQ(address.code, "00");
    const std::string z6_id = address.request_id;
    EXPECT_EQ(std::string(address.message).rfind("http://qr.example:8080/pay/n/", 0), 0u);
    EXPECT_EQ(box.next_line(), "upload: order " + z6_id + " amount 0.01");

    const TransResult order = call("Z5|12.50|8|");
    ASSERT_STREQ(order.code, "00");
    const std::string z5_id = order.request_id;
    EXPECT_TRUE(std::regex_match(z5_id, std::regex(R"(\d{8}\d{3})"))) << z5_id;
    EXPECT_EQ(std::string(order.message),
              "http://127.0.0.1:" + std::to_string(aggregator_port()) + "/pay/qr/" + z5_id);
    EXPECT_EQ(box.next_line(), "upload: order " + z5_id + " amount 12.50");

    const std::vector<std::string> log =
        test_support::log_messages_in(std::filesystem::path(folder) / "log");
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(log[0], kMachineNoLog + "M1");
    EXPECT_EQ(log[1], kKeyLog + "SECR****");
    EXPECT_EQ(log[5], kUploadSet);
    EXPECT_EQ(log[6], "[NET]:组建二维码地址为" + std::string(address.message) + ":");
    EXPECT_EQ(log[9], "[NET]:组建二维码地址参数Money:12.50 OrderNo:" + z5_id + " DeskNo:8!");
    EXPECT_EQ(log[11], "[NET]:组建二维码地址为" + std::string(order.message) + ":");
}

// A charge whose till was told nothing (超时时间=0) is found by the end-of-day reconciliation
// in the journal of the box service's folder: not paid at the first run, paid after the till's
// failure at the second (the service turns orders paid at their second query).
TEST_F(WindowsEndToEnd, PendingFindsAChargePaidAfterItsTillWasToldNothing) {
    const BoxServiceFolder box_folder;
    ASSERT_TRUE(box_folder.imported());
    settings_.timeout = "0";
    settings_.terminal_no = "TP";  // a scan-pay id of its own, whatever ran this second
    library_->configure(settings_);
    const TransResult charged = call("Z1|A1|k3y|130000004321|0.05|C7|");
    EXPECT_STREQ(charged.code, "");
    EXPECT_STRNE(charged.request_id, "");

    const std::vector<std::string> pending = {"pending",   "--agent",       "A1", "--key", "k3y",
                                              "--library", library_->path()};
    EXPECT_EQ(test_support::run_program(VORTAL_CLI_PATH, pending), 0);
    EXPECT_EQ(test_support::run_program(VORTAL_CLI_PATH, pending), 10);
}

// Processes of one terminal creating orders at once take ids of their own through the file
// that LockFileEx keeps to one holder at a time: every order is created.
TEST_F(WindowsEndToEnd, ProcessesOfOneTerminalTakeIdsOfTheirOwn) {
    const BoxServiceFolder box_folder;
    ASSERT_TRUE(box_folder.imported());
    constexpr int kOrders = 10;
    std::string command = "\"" VORTAL_CLI_PATH "\" --library \"" + library_->path() + "\"";
    for (int i = 0; i < kOrders; ++i) command += " Z3|A1|k3y|1.00|cake||";
    std::vector<PROCESS_INFORMATION> tills(3);
    for (PROCESS_INFORMATION& till : tills) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string line = command;
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &till));
    }
    for (int i = 0; i < kOrders; ++i) call("Z3|A1|k3y|1.00|cake||");
    for (PROCESS_INFORMATION& till : tills) {
        WaitForSingleObject(till.hProcess, INFINITE);
        CloseHandle(till.hThread);
        CloseHandle(till.hProcess);
    }
    std::string journal;
    for (const auto& file : std::filesystem::directory_iterator(box_folder.path() + "\\log")) {
        if (file.path().filename().string().rfind("payments-", 0) == 0)
            journal += test_support::read_file(file.path().string());
    }
    static const std::regex kCreated("\tZ3\t([^\t]+)\t1\\.00\tended\t00\t");
    std::set<std::string> ids;
    for (std::sregex_iterator line(journal.begin(), journal.end(), kCreated), end; line != end;
         ++line) {
        ids.insert((*line)[1]);
    }
    EXPECT_EQ(ids.size(), 4u * kOrders);
}

// The profile functions read a UTF-8 file that starts with its byte-order mark as Unicode; the
// settings command finds the file beside the library and reads it the library's way.
TEST_F(WindowsEndToEnd, AUtf8IniWithItsByteOrderMarkAndTheSettingsCommand) {
    library_->write_configuration(
        "\xef\xbb\xbf" + std::string(u8"[服务器信息]\r\n域名=127.0.0.1\r\n端口=") +
        std::to_string(aggregator_port()) + u8"\r\n地址=/pay/api\r\n[商户信息]\r\n店铺编号=S1\r\n");
    EXPECT_STREQ(call("Z3|A1|k3y|1.00|cake||").code, "00");
    const std::vector<std::string> settings = {"settings", "--library", library_->library_path()};
    EXPECT_EQ(test_support::run_program(VORTAL_CLI_PATH, settings), 0);
    library_->remove_configuration();
    EXPECT_EQ(test_support::run_program(VORTAL_CLI_PATH, settings), 1);
}
