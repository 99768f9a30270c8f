#include "records.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gbk_text.h"

namespace vortal {

void format_bounded(char* dest, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    format_bounded_v(dest, size, format, args);
    va_end(args);
}

void format_bounded_v(char* dest, std::size_t size, const char* format, va_list args) {
    if (size == 0) return;
    const int written = std::vsnprintf(dest, size, format, args);
    if (written < 0) {
        dest[0] = '\0';
    } else if (static_cast<std::size_t>(written) >= size) {
        dest[gbk::whole_length(std::string_view(dest, size - 1))] = '\0';
    }
}

void copy_bounded(char* dest, std::size_t size, std::string_view text) {
    if (size == 0) return;
    const std::size_t length =
        text.size() < size ? text.size() : gbk::whole_length(text.substr(0, size - 1));
    std::memcpy(dest, text.data(), length);
    dest[length] = '\0';
}

namespace {

// The address area spans the message, merchant-name and shop-number fields.
constexpr std::size_t kAddressAreaStart = offsetof(TransResult, message);
constexpr std::size_t kAddressAreaEnd = offsetof(TransResult, bank_order_no);
static_assert(kAddressAreaEnd - kAddressAreaStart > kConversionSize,
              "an address of 260 bytes fits");

}  // namespace

void store_address(TransResult& result, std::string_view address) {
    auto* bytes = reinterpret_cast<unsigned char*>(&result);
    std::memset(bytes + kAddressAreaStart, 0, kAddressAreaEnd - kAddressAreaStart);
    copy_bounded(reinterpret_cast<char*>(bytes + kAddressAreaStart), kConversionSize, address);
}

std::string_view stored_address(const TransResult& result) {
    const char* area = reinterpret_cast<const char*>(&result) + kAddressAreaStart;
    return std::string_view(area, strnlen(area, kAddressAreaEnd - kAddressAreaStart));
}

void set_outcome(TransResult& result, const char* code, std::string_view message) {
    copy_bounded(result.code, code);
    copy_bounded(result.message, message);
}

bool has_code(const TransResult& result, const char* code) {
    return std::strcmp(result.code, code) == 0;
}

}  // namespace vortal
