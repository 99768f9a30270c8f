// The request record of one call, the bounded text helpers every fixed-size field goes
// through, and the sizes of the work areas.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vortal.h"

#if defined(__GNUC__)
#define VORTAL_PRINTF_FORMAT(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#else
#define VORTAL_PRINTF_FORMAT(format_index, first_arg)
#endif

namespace vortal {

inline constexpr std::size_t kAddressSize = 4096;    // a request address and its NUL
inline constexpr std::size_t kBodySize = 4096;       // an answer body and its NUL
inline constexpr std::size_t kRequestIdSize = 48;    // a generated request id (47 bytes)
inline constexpr std::size_t kConversionSize = 260;  // a converted answer text and its NUL
inline constexpr std::size_t kMaxInputLength = 4096;
inline constexpr std::size_t kMaxTokenLength = 259;

// Operation values as the request record stores them; "Z4" to "Z6" do not follow the digit.
enum class Operation : std::int32_t {
    none = 0,
    scan_pay = 1,        // "Z1"
    refund = 2,          // "Z2"
    create_order = 3,    // "Z3"
    machine_order = 4,   // "Z5"
    box_qr_address = 5,  // "Z6"
    query = 6,           // "Z4"
};

// How the payment service is spoken to (服务器信息/协议): plain HTTP, HTTPS with the server's
// certificate verified, or a value that is neither, with which nothing is sent.
enum class Protocol : std::int32_t { http = 0, https = 1, unknown = 2 };

struct TransRequest {
    char version[50];
    char server_host[50];
    Protocol server_protocol;
    std::uint16_t server_port;
    char server_path[100];
    char proxy[50];  // "HTTP=HTTP://host:port", empty for the environment's settings
    char callback_url[150];
    char extra_info[150];
    Operation operation;
    char agent_no[50];
    char sign_key[150];
    char shop_no[50];
    char terminal_no[50];
    char request_id[50];
    char auth_code[50];
    char amount[50];
    char description[50];  // the desk number for the box-service operations
    std::int32_t print_flag;
    char receipt_file[200];
    std::int32_t timeout_seconds;
    char cashier_no[50];
};

// printf into dest, cut to size - 1 bytes and always NUL-terminated. Texts are GBK: a cut
// never leaves half a character at the end, so the text may end a byte earlier.
void format_bounded(char* dest, std::size_t size, const char* format, ...)
    VORTAL_PRINTF_FORMAT(3, 4);
void format_bounded_v(char* dest, std::size_t size, const char* format, va_list args)
    VORTAL_PRINTF_FORMAT(3, 0);

// Copies text into dest, cut like format_bounded.
void copy_bounded(char* dest, std::size_t size, std::string_view text);

template <std::size_t N>
void copy_bounded(char (&dest)[N], std::string_view text) {
    copy_bounded(dest, N, text);
}

// A field of width N holds at most N - 1 bytes.
template <std::size_t N>
bool fits(const char (&)[N], std::string_view text) {
    return text.size() < N;
}

// Stores a payment address at the message offset. It may be longer than the message field
// and then runs on over the merchant-name and shop-number fields, which the operations that
// return an address leave empty.
void store_address(TransResult& result, std::string_view address);

// The payment address stored by store_address: the text from the message offset, which may
// run on over the next two fields.
std::string_view stored_address(const TransResult& result);

// The code and message of a result, the message cut to its field.
void set_outcome(TransResult& result, const char* code, std::string_view message);

bool has_code(const TransResult& result, const char* code);

}  // namespace vortal
