// vortal-cli: calls the payment library the way the point-of-sale program does. It loads
// the shared library with dlopen, passes each request text (typed in UTF-8, handed over in
// GBK) to Z_ALITrans and prints every result field by name (back in UTF-8), or with --raw
// the 474 bytes of each record as they are.
#include <dlfcn.h>
#include <iconv.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "vortal.h"

namespace {

using Transact = TransResult* (*)(const char*);

void usage() {
    std::fprintf(stderr,
                 "usage: vortal-cli [--library PATH] [--raw] REQUEST...\n"
                 "  REQUEST  \"|\"-terminated fields, for example 'Z4|agent|key|request id|';\n"
                 "           several run in order in the one loaded library\n"
                 "  PATH     the library to load (default: libvortal.so on the library path)\n");
}

bool convert(const char* to, const char* from, std::string_view text, std::string& out) {
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char* next = out.data();
    std::size_t out_left = out.size();
    const bool done =
        iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(handle);
    out.resize(out.size() - out_left);
    return done;
}

void print_field(const char* name, const char* field, std::size_t width) {
    const std::string_view gbk(field, strnlen(field, width));
    std::string utf8;
    if (!convert("UTF-8", "CP936", gbk, utf8)) utf8 = "(not GBK) " + std::string(gbk);
    std::printf("%-14s %s\n", name, utf8.c_str());
}

void print_result(const TransResult& result) {
    // A payment address may run on from the message over the next two fields.
    constexpr std::size_t kAddressArea =
        offsetof(TransResult, bank_order_no) - offsetof(TransResult, message);
    const bool message_runs_on =
        strnlen(result.message, sizeof result.message) == sizeof result.message;
    print_field("code", result.code, sizeof result.code);
    print_field("message", result.message, kAddressArea);
    if (!message_runs_on) {
        print_field("merchant_name", result.merchant_name, sizeof result.merchant_name);
        print_field("shop_no", result.shop_no, sizeof result.shop_no);
    }
    print_field("bank_order_no", result.bank_order_no, sizeof result.bank_order_no);
    print_field("request_id", result.request_id, sizeof result.request_id);
    print_field("status", result.status, sizeof result.status);
    print_field("order_amount", result.order_amount, sizeof result.order_amount);
    print_field("save_amount", result.save_amount, sizeof result.save_amount);
    print_field("amount", result.amount, sizeof result.amount);
    print_field("trade_time", result.trade_time, sizeof result.trade_time);
    print_field("order_time", result.order_time, sizeof result.order_time);
    print_field("cashier_no", result.cashier_no, sizeof result.cashier_no);
    print_field("refund_time", result.refund_time, sizeof result.refund_time);
}

}  // namespace

int main(int argc, char** argv) {
    std::string library = "libvortal.so";
    bool raw = false;
    std::vector<std::string> requests;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--raw") {
            raw = true;
        } else if (argument == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if (argument.rfind("--", 0) != 0) {
            std::string gbk_request;
            if (!convert("CP936", "UTF-8", argument, gbk_request)) {
                std::fprintf(stderr, "vortal-cli: a request is not UTF-8 text that GBK can hold\n");
                return 2;
            }
            requests.push_back(gbk_request);
        } else {
            usage();
            return 2;
        }
    }
    if (requests.empty()) {
        usage();
        return 2;
    }

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "vortal-cli: %s\n", dlerror());
        return 1;
    }
    auto transact = reinterpret_cast<Transact>(dlsym(handle, "Z_ALITrans"));
    if (transact == nullptr) {
        std::fprintf(stderr, "vortal-cli: %s\n", dlerror());
        dlclose(handle);
        return 1;
    }
    // One loaded library for all requests, as in the point-of-sale program: they share its
    // order counter.
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const TransResult* result = transact(requests[i].c_str());
        if (raw) {
            std::fwrite(result, 1, sizeof *result, stdout);
        } else {
            if (i > 0) std::printf("\n");
            print_result(*result);
        }
    }
    std::fflush(stdout);
    dlclose(handle);
    return 0;
}
