// vortal-cli: calls the payment library the way the point-of-sale program does. It loads
// the shared library (dlopen, LoadLibrary on Windows), passes each request text to
// Z_ALITrans and prints every result field by name with what the result means
// (cli/result_meaning.h), or with --raw the 474 bytes of each record as they are. Requests are
// typed in UTF-8 on Linux and in the ANSI code page (GBK on the store systems) on Windows, and
// handed over in GBK; the fields are printed in UTF-8 (see cli/console_text.h). "vortal-cli
// settings" shows how the library reads the till's configuration (cli/settings.cpp),
// "vortal-cli pending" reconciles the payment journal (cli/pending.cpp).

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console_text.h"
#include "cli/pending.h"
#include "cli/result_meaning.h"
#include "cli/settings.h"
#include "vortal.h"
#include "vortal_library.h"

namespace {

void usage(std::FILE* stream) {
    print_to(stream,
             "usage: vortal-cli [--library PATH] [--raw] REQUEST...\n"
             "       vortal-cli settings [--library PATH] [--json]\n"
             "       vortal-cli pending --help\n"
             "       vortal-cli --version\n"
             "       vortal-cli --help\n"
             "  REQUEST  \"|\"-terminated fields, for example 'Z4|agent|key|request id|';\n"
             "           several run in order in the one loaded library\n"
             "  PATH     the library to load (default: %s on the library path)\n",
             kDefaultLibraryFile);
}

void print_field(const char* name, const char* field, std::size_t width) {
    const std::string_view gbk(field, strnlen(field, width));
    std::string utf8;
    if (!gbk_to_utf8(gbk, utf8)) utf8 = "(not GBK) " + std::string(gbk);
    print_to(stdout, "%-14s %s\n", name, utf8.c_str());
}

void print_result(const TransResult& result) {
    // A payment address may run on from the message over the next two fields.
    constexpr std::size_t kAddressArea =
        offsetof(TransResult, bank_order_no) - offsetof(TransResult, message);
    const bool message_runs_on =
        strnlen(result.message, sizeof result.message) == sizeof result.message;
    print_field("code", result.code, sizeof result.code);
    print_field("message", result.message, kAddressArea);
    print_to(stdout, "%-14s %s\n", "meaning",
             result_meaning(
                 std::string_view(result.code, strnlen(result.code, sizeof result.code)),
                 std::string_view(result.message, strnlen(result.message, sizeof result.message))));
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
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        print_to(stdout, "vortal-cli %s\n", KORVANE_VERSION);
        return 0;
    }
    if (argc > 1 && std::string_view(argv[1]) == "settings")
        return run_settings(argc - 2, argv + 2);
    if (argc > 1 && std::string_view(argv[1]) == "pending") return run_pending(argc - 2, argv + 2);
    std::string library = kDefaultLibraryFile;
    bool raw = false;
    std::vector<std::string> requests;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            usage(stdout);
            return 0;
        }
        if (argument == "--raw") {
            raw = true;
        } else if (argument == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if (argument.rfind("--", 0) != 0) {
            std::string gbk_request;
            if (!to_gbk(argument, gbk_request)) {
                print_to(stderr, "vortal-cli: a request is not UTF-8 text that GBK can hold\n");
                return 2;
            }
            requests.push_back(gbk_request);
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (requests.empty()) {
        usage(stderr);
        return 2;
    }

    const VortalLibrary loaded(library);
    const VortalLibrary::Transact transact = loaded.transact();
    if (transact == nullptr) {
        print_to(stderr, "vortal-cli: %s\n", shown_path(loaded.error()).c_str());
        return 1;
    }
    // One loaded library for all requests, as in the point-of-sale program: they share its
    // order counter.
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const TransResult* result = transact(requests[i].c_str());
        if (raw) {
            write_raw(std::string_view(reinterpret_cast<const char*>(result), sizeof *result));
        } else {
            if (i > 0) print_to(stdout, "\n");
            print_result(*result);
        }
    }
    std::fflush(stdout);
    return 0;
}
