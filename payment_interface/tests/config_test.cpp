#include "config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "debugger_output.h"
#include "platform/platform.h"
#include "test_support.h"

using namespace vortal;
using test_support::TempDir;
using test_support::write_file;

namespace {

TransRequest configured(const std::string& file) {
    TransRequest request;
    std::memset(&request, 0, sizeof request);
    read_config(file.c_str(), request);
    return request;
}

}  // namespace

TEST(ProfileReads, FollowTheWindowsRules) {
    TempDir dir;
    const std::string file = dir.file("rules.ini");
    write_file(file,
               "; comment=no\r\n"
               "[Server] \r\n"
               "  Host  =  \"quoted value\"  \r\n"
               "single='one'\r\n"
               "inner=a \"b\" c\r\n"
               "empty=\r\n"
               "port=8080x\r\n"
               "negative=-12\r\n"
               "word=abc\r\n"
               "chinese=a余余\r\n"
               "[other]\n"
               "host=wrong section\n"
               "[server]\n"
               "late=second section of the same name\n");
    const platform::ProfileFile profile(file.c_str());
    char value[64];
    profile.text("SERVER", "host", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "quoted value");
    profile.text("server", "SINGLE", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "one");
    profile.text("server", "inner", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "a \"b\" c");
    profile.text("server", "empty", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "");
    profile.text("server", "missing", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "dflt");
    profile.text("server", "comment", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "dflt");
    profile.text("server", "late", "dflt", value, sizeof value);
    EXPECT_STREQ(value, "dflt") << "only the first section of a name counts";

    char small[5];
    profile.text("server", "host", "", small, sizeof small);
    EXPECT_STREQ(small, "quot");
    profile.text("server", "chinese", "", small, sizeof small);
    EXPECT_STREQ(small, "a余") << "cut at a character";

    EXPECT_EQ(profile.number("server", "port", 80), 8080);
    EXPECT_EQ(profile.number("server", "negative", 80), -12);
    EXPECT_EQ(profile.number("server", "word", 80), 0);
    EXPECT_EQ(profile.number("server", "empty", 80), 80);
    EXPECT_EQ(profile.number("server", "missing", 80), 80);
}

TEST(ProfileReads, ChineseNamesMatchByteForByteAndBareNamesLookInTheSystemFolder) {
    TempDir dir;
    const std::string file = dir.file("gbk.ini");
    // 服务器信息 / 域名 as GBK bytes
    write_file(file, "[\xb7\xfe\xce\xf1\xc6\xf7\xd0\xc5\xcf\xa2]\r\n\xd3\xf2\xc3\xfb=pay.host\r\n");
    const platform::ProfileFile profile(file.c_str());
    char value[32];
    profile.text("服务器信息", "域名", "", value, sizeof value);
    EXPECT_STREQ(value, "pay.host");

    const std::string bare =
        "vortal-no-such-file-" + std::to_string(std::random_device()()) + ".ini";
    platform::ProfileFile(bare.c_str()).text("a", "b", "fallback", value, sizeof value);
    EXPECT_STREQ(value, "fallback");
}

TEST(ProfileReads, AnEditShowsAtTheNextRead) {
    TempDir dir;
    const std::string file = dir.file("edited.ini");
    write_file(file, "[s]\nk=old\n");
    char value[8];
    platform::ProfileFile(file.c_str()).text("s", "k", "", value, sizeof value);
    EXPECT_STREQ(value, "old");
    write_file(file, "[s]\nk=new\n");  // same size, same second
    platform::ProfileFile(file.c_str()).text("s", "k", "", value, sizeof value);
    EXPECT_STREQ(value, "new");
    std::filesystem::remove(file);
    platform::ProfileFile(file.c_str()).text("s", "k", "gone", value, sizeof value);
    EXPECT_STREQ(value, "gone");
}

// Windows' profile functions read a file with a byte-order mark as Unicode and hand its values
// on in GBK, "?" for a character GBK lacks; a file without one is GBK, even one saved as UTF-8.
TEST(ProfileReads, AByteOrderMarkMakesTheFileUnicode) {
    using platform::TextEncoding;
    const struct {
        const char* name;
        std::string bytes;
        TextEncoding encoding;
        const char* value;  // of 地址, GBK
    } files[] = {
        {"utf8-bom.ini", "\xef\xbb\xbf" + std::string(u8"[服务器信息]\r\n地址=/蛋糕ก\r\n"),
         TextEncoding::utf8_with_bom, "/\xb5\xb0\xb8\xe2?"},
        {"utf16.ini", test_support::utf16_file(u"[服务器信息]\r\n地址=/蛋糕ก\r\n"),
         TextEncoding::utf16, "/\xb5\xb0\xb8\xe2?"},
        {"gbk.ini", "[服务器信息]\r\n地址=/蛋糕\r\n", TextEncoding::gbk, "/\xb5\xb0\xb8\xe2"},
        {"ascii.ini", "[server]\r\npath=/x\r\n", TextEncoding::gbk, "none"},
        {"utf8.ini", u8"[服务器信息]\r\n地址=/蛋糕\r\n", TextEncoding::utf8, "none"},
    };
    TempDir dir;
    for (const auto& file : files) {
        write_file(dir.file(file.name), file.bytes);
        const platform::ProfileFile profile(dir.file(file.name).c_str());
        char value[32];
        profile.text("服务器信息", "地址", "none", value, sizeof value);
        EXPECT_STREQ(value, file.value) << file.name;
        EXPECT_EQ(profile.encoding(), file.encoding) << file.name;
        EXPECT_EQ(looks_like_utf8(profile), file.encoding == TextEncoding::utf8) << file.name;
    }
}

TEST(Configuration, MissingFileGivesTheDefaults) {
    TempDir dir;
    const TransRequest request = configured(dir.file("absent.ini"));
    EXPECT_EQ(request.server_port, 80);
    EXPECT_EQ(request.timeout_seconds, 45);
    EXPECT_EQ(request.print_flag, 0);
    EXPECT_STREQ(request.server_host, "");
    EXPECT_STREQ(request.server_path, "");
    EXPECT_STREQ(request.proxy, "");
}

TEST(Configuration, EveryKeyReachesItsField) {
    TempDir dir;
    const std::string file = dir.file("Z_AllITrans.ini");
    write_file(
        file,
        "[接口信息]\n版本=2.1\n"
        "[服务器信息]\n域名=pay.example\n地址=/pay/api\n端口=70000\n代理=10.0.0.1:8080\n"
        "[功能选择]\n开启打印=1\n打印文件=/tmp/receipt.txt\n超时时间=0\n主扫回调=http://shop/cb\n"
        "[商户信息]\n店铺编号=" +
            std::string(60, 'S') + "\n终端编号=T1\n");
    const TransRequest request = configured(file);
    EXPECT_STREQ(request.version, "2.1");
    EXPECT_STREQ(request.server_host, "pay.example");
    EXPECT_STREQ(request.server_path, "/pay/api");
    EXPECT_EQ(request.server_port, 70000 % 65536) << "the low 16 bits";
    EXPECT_STREQ(request.proxy, "HTTP=HTTP://10.0.0.1:8080");
    EXPECT_EQ(request.print_flag, 1);
    EXPECT_STREQ(request.receipt_file, "/tmp/receipt.txt");
    EXPECT_EQ(request.timeout_seconds, 0);
    EXPECT_STREQ(request.callback_url, "http://shop/cb");
    EXPECT_EQ(std::string(request.shop_no), std::string(49, 'S'));
    EXPECT_STREQ(request.terminal_no, "T1");
}

TEST(Configuration, LongProxyIsCutSoThatTheWholeTextStaysWithin49Bytes) {
    TempDir dir;
    const std::string file = dir.file("proxy.ini");
    const std::string proxy = std::string(40, 'p') + ":1";
    write_file(file, "[服务器信息]\n代理=" + proxy + "\n");
    const TransRequest request = configured(file);
    EXPECT_EQ(std::string(request.proxy), "HTTP=HTTP://" + proxy.substr(0, 37));
}

// Each operation is told only what keeps it from the payment service: "Z5" needs no shop
// number, "Z6" nothing but a file that gives something.
TEST(Configuration, WhatKeepsTheOperationFromTheServiceGoesToTheDebuggerOutput) {
    TempDir dir;
    const std::string file = dir.file("Z_AllITrans.ini");
    auto told = [&file](Operation operation) {
        TransRequest request;
        std::memset(&request, 0, sizeof request);
        request.operation = operation;
        test_support::DebuggerOutput debug;
        read_config(file.c_str(), request);
        return debug.take();
    };
    EXPECT_EQ(told(Operation::box_qr_address), "Z_ALITrans:配置文件" + file + "不存在\n");
    write_file(file, "[服务器信息]\r\n域名=pay.example\r\n");
    EXPECT_EQ(told(Operation::machine_order),
              "Z_ALITrans:配置文件" + file + "中[服务器信息]地址为空\n");
    EXPECT_EQ(told(Operation::box_qr_address), "");
    EXPECT_EQ(told(Operation::none), "") << "an unknown operation runs nothing";
}

// 协议 chooses TLS and with it the port 端口 defaults to; a value that is neither protocol
// stops every operation that talks to the service, and says so.
TEST(Configuration, ProtocolChoosesTlsAndItsDefaultPort) {
    TempDir dir;
    const std::string file = dir.file("Z_AllITrans.ini");
    const struct {
        const char* lines;
        Protocol protocol;
        int port;
    } cases[] = {
        {"", Protocol::http, 80},
        {"协议=http\r\n", Protocol::http, 80},
        {"协议= HTTPS \r\n", Protocol::https, 443},
        {"协议=https\r\n端口=8443\r\n", Protocol::https, 8443},
        {"协议=ftp\r\n", Protocol::unknown, 80},
    };
    for (const auto& entry : cases) {
        write_file(file, std::string("[服务器信息]\r\n域名=pay.example\r\n") + entry.lines);
        TransRequest request = configured(file);
        EXPECT_EQ(request.server_protocol, entry.protocol) << entry.lines;
        EXPECT_EQ(request.server_port, entry.port) << entry.lines;
        EXPECT_EQ(read_number(platform::ProfileFile(file.c_str()), kPort), entry.port);
        request.operation = Operation::query;
        EXPECT_EQ(settings_usable(request), entry.protocol != Protocol::unknown) << entry.lines;
        request.operation = Operation::box_qr_address;
        EXPECT_TRUE(settings_usable(request)) << "Z6 does not talk to the service";
    }
    TransRequest request;
    std::memset(&request, 0, sizeof request);
    request.operation = Operation::machine_order;
    test_support::DebuggerOutput debug;
    read_config(file.c_str(), request);
    EXPECT_EQ(debug.take().rfind("Z_ALITrans:配置文件" + file + "中[服务器信息]协议=ftp不是", 0),
              0u);
}

TEST(Configuration, PathFallsBackToTheBareNameOutsideTheNamedLibrary) {
    // The test program is not the library, so the library's own file is not found.
    test_support::DebuggerOutput debug;
    set_up_config_path();
    EXPECT_STREQ(config_path(), "Z_AllITrans.ini");
    EXPECT_EQ(debug.take(),
              "\xbb\xf1\xc8\xa1\xb5\xb1\xc7\xb0\x44\x4c\x4c\xbe\xe4\xb1\xfa\xca\xa7\xb0\xdc");
}
