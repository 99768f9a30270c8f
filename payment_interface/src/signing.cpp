#include "signing.h"

#include <openssl/crypto.h>
#include <openssl/md5.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "gbk_text.h"

namespace vortal {

namespace {

// Nothing to destroy at exit, while a call on another thread may still use it.
RequestIds g_request_ids;

struct Parameter {
    std::string_view name;
    std::string_view value;
    bool required = true;
    // The machine order puts "&&" before its description; the service expects it so.
    bool double_ampersand = false;
};

bool holds_line_break(std::string_view value) {
    return value.find_first_of("\r\n") != std::string_view::npos;
}

// Bytes that cannot stand as they are anywhere in a request target: a blank or another control
// byte would end it or be dropped, "#" would begin a fragment, WinINet sends "\\" as "/", and
// what else a server refuses in a target (RFC 3986) that can be the trail byte of a GBK
// character: "[", "]", "^", "`", "{", "|" and "}".
bool escaped_in_target(unsigned char byte) {
    return byte <= 0x20 || byte == 0x7F || byte == '#' ||
           std::string_view("\\[]^`{|}").find(static_cast<char>(byte)) != std::string_view::npos;
}

// In a parameter value also what the service's query parser reads as its own syntax: "&" ends
// the value, "+" stands for a blank and "%" begins an escape.
bool escaped_in_value(unsigned char byte) {
    return escaped_in_target(byte) || byte == '&' || byte == '+' || byte == '%';
}

// Percent-encodes the characters that hold a byte escaped() names, every other character (GBK
// text included) as it is. A character goes whole, raw or encoded (東 96 7C as %96%7C): a
// lead byte left raw before an escape would stand alone, and a client that reads the target
// in the code page would make it a stray character. Both HTTP clients send the result
// unchanged, so both systems send the same request.
void append_encoded(std::string& text, std::string_view bytes, bool (*escaped)(unsigned char)) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t at = 0; at < bytes.size();) {
        const std::string_view character = bytes.substr(at, gbk::char_length(bytes, at));
        at += character.size();
        const bool encode = std::any_of(character.begin(), character.end(), [escaped](char c) {
            return escaped(static_cast<unsigned char>(c));
        });
        if (!encode) {
            text += character;
            continue;
        }
        for (const char c : character) {
            const auto byte = static_cast<unsigned char>(c);
            text += '%';
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
        }
    }
}

// The common steps: check the values, sign the command and the values as given run together
// (cut at 255 bytes), format "path?cmd=COMMAND&name=value...&hmac=signature" (cut at 4095)
// with the values percent-encoded where they would not reach the service as they are. The
// service decodes them and checks the signature on the values as given. A line break fails:
// it would end the request line.
bool build_signed_address(std::string_view server_path, std::string_view command,
                          std::initializer_list<Parameter> parameters, std::string_view key,
                          Address& address) {
    if (server_path.empty() || key.empty() || holds_line_break(server_path)) return false;
    std::string sign_text(command);
    for (const Parameter& parameter : parameters) {
        if (parameter.required && parameter.value.empty()) return false;
        if (holds_line_break(parameter.value)) return false;
        sign_text += parameter.value;
    }
    if (sign_text.size() > kMaxSignTextLength) sign_text.resize(kMaxSignTextLength);

    char signature[kSignatureSize];
    if (!sign(sign_text, key, signature)) return false;

    std::string text;
    append_encoded(text, server_path, escaped_in_target);
    text += "?cmd=";
    text += command;
    for (const Parameter& parameter : parameters) {
        text += parameter.double_ampersand ? "&&" : "&";
        text += parameter.name;
        text += '=';
        append_encoded(text, parameter.value, escaped_in_value);
    }
    text += "&hmac=";
    text += signature;
    copy_bounded(address, text);
    return true;
}

}  // namespace

std::size_t hex_encode(const unsigned char* bytes, std::size_t length, char* out) {
    constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < length; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    out[2 * length] = '\0';
    return 2 * length;
}

// HMAC (RFC 2104) over libcrypto's MD5 primitive. Its EVP interface would bring libcrypto's
// provider machinery into the Windows DLL (over a megabyte), with an initialisation that keeps
// state on every caller's thread and registers an exit handler that Windows runs after an
// unloaded DLL is gone; the primitive needs none of it.
bool sign(std::string_view message, std::string_view key, char (&signature)[kSignatureSize]) {
    signature[0] = '\0';
    if (message.empty() || key.empty()) return false;
    unsigned char block_key[MD5_CBLOCK] = {};
    if (key.size() > sizeof block_key) {
        MD5(reinterpret_cast<const unsigned char*>(key.data()), key.size(), block_key);
    } else {
        std::memcpy(block_key, key.data(), key.size());
    }
    unsigned char pad[MD5_CBLOCK];
    unsigned char inner[MD5_DIGEST_LENGTH];
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5_CTX context;
    for (std::size_t i = 0; i < sizeof pad; ++i) pad[i] = block_key[i] ^ 0x36;
    MD5_Init(&context);
    MD5_Update(&context, pad, sizeof pad);
    MD5_Update(&context, message.data(), message.size());
    MD5_Final(inner, &context);
    for (std::size_t i = 0; i < sizeof pad; ++i) pad[i] = block_key[i] ^ 0x5C;
    MD5_Init(&context);
    MD5_Update(&context, pad, sizeof pad);
    MD5_Update(&context, inner, sizeof inner);
    MD5_Final(digest, &context);
    OPENSSL_cleanse(block_key, sizeof block_key);
    OPENSSL_cleanse(pad, sizeof pad);
    hex_encode(digest, sizeof digest, signature);
    return true;
}

// Written out here rather than taken from libcrypto, whose encoder brings its fatal-error
// reporting into the DLL, and with it imports of the event log and of message boxes.
std::size_t base64_encode(std::string_view bytes, char* out, std::size_t size) {
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (size == 0) return 0;
    out[0] = '\0';
    const std::size_t length = (bytes.size() + 2) / 3 * 4;
    if (length >= size) return 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        out[written++] = kAlphabet[(group >> 18) & 0x3F];
        out[written++] = kAlphabet[(group >> 12) & 0x3F];
        out[written++] = left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        out[written++] = left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    out[written] = '\0';
    return written;
}

RequestIds& order_sequence() {
    return g_request_ids;
}

platform::LocalTime scan_pay_id_time() {
    return g_request_ids.take_scan_pay_second(platform::local_time());
}

bool valid_amount(std::string_view amount) {
    if (amount.empty() || amount.size() >= sizeof(TransResult::amount)) return false;
    const std::size_t point = amount.find('.');
    const std::string_view whole = amount.substr(0, point);
    const std::string_view cents =
        point == std::string_view::npos ? std::string_view() : amount.substr(point + 1);
    if (whole.empty() || (point != std::string_view::npos && (cents.empty() || cents.size() > 2)))
        return false;
    bool nonzero = false;
    for (const std::string_view digits : {whole, cents}) {
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            nonzero |= c != '0';
        }
    }
    return nonzero;
}

bool build_scan_pay(const TransRequest& request, platform::LocalTime (*id_time)(), Address& address,
                    RequestId& request_id) {
    for (const char* required :
         {request.agent_no, request.auth_code, request.shop_no, request.amount}) {
        if (required[0] == '\0') return false;
    }
    if (!valid_amount(request.amount)) return false;
    const platform::LocalTime now = id_time();
    // Month, day, hour, minute, the seconds in three digits, then the terminal number or "00".
    char id[kRequestIdSize];
    const char* terminal = request.terminal_no[0] != '\0' ? request.terminal_no : "00";
    format_bounded(id, sizeof id, "%02d%02d%02d%02d%03d%s", now.month, now.day, now.hour,
                   now.minute, now.second, terminal);
    if (!build_signed_address(request.server_path, "AGENTWXSCANPAY",
                              {{"agentNo", request.agent_no},
                               {"authCode", request.auth_code},
                               {"shopNo", request.shop_no},
                               {"requestId", id},
                               {"amount", request.amount}},
                              request.sign_key, address)) {
        return false;
    }
    copy_bounded(request_id, id);
    return true;
}

namespace {

bool build_order_command(std::string_view command, const TransRequest& request, Address& address) {
    return build_signed_address(request.server_path, command,
                                {{"agentNo", request.agent_no},
                                 {"shopNo", request.shop_no},
                                 {"requestId", request.request_id}},
                                request.sign_key, address);
}

}  // namespace

bool build_query(const TransRequest& request, Address& address) {
    return build_order_command("AGENTQUERY", request, address);
}

bool build_refund(const TransRequest& request, Address& address) {
    return build_order_command("AGENTREFUND", request, address);
}

bool build_create_order(const TransRequest& request, const platform::LocalTime& now,
                        RequestIds& sequence, Address& address, RequestId& request_id) {
    for (const char* required : {request.server_path, request.agent_no, request.shop_no,
                                 request.amount, request.description, request.sign_key}) {
        if (required[0] == '\0') return false;
    }
    if (!valid_amount(request.amount)) return false;
    // Month, day, hour, minute, second, the terminal number, then the counter; the counter
    // is used up whether or not the build then succeeds.
    char id[kRequestIdSize];
    const OrderNumber number = sequence.take_order_number(now);
    const platform::LocalTime& t = number.time;
    format_bounded(id, sizeof id, "%02d%02d%02d%02d%02d%s%03u", t.month, t.day, t.hour, t.minute,
                   t.second, request.terminal_no, number.number);
    if (!build_signed_address(request.server_path, "AGENTCREATEORDER",
                              {{"agentNo", request.agent_no},
                               {"shopNo", request.shop_no},
                               {"requestId", id},
                               {"amount", request.amount},
                               {"callbackUrl", request.callback_url, false},
                               {"description", request.description},
                               {"extraInfo", request.extra_info, false}},
                              request.sign_key, address)) {
        return false;
    }
    copy_bounded(request_id, id);
    return true;
}

bool build_machine_order(const MachineOrder& order, Address& address) {
    if (!valid_amount(order.amount)) return false;
    return build_signed_address(order.server_path, "MACHINECREATEORDER",
                                {{"machineNo", order.machine_no},
                                 {"requestId", order.request_id},
                                 {"amount", order.amount},
                                 {"description", order.description, true, true},
                                 {"extraInfo", order.extra_info, false}},
                                order.key, address);
}

}  // namespace vortal
