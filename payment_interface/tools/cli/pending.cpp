// vortal-cli pending: reads a day's payment journal, takes every order whose till was not
// told of a success (an order without any outcome included) unless another attempt of its id
// was, and every refund, asks the payment service through the loaded library where each agent
// order stands now (a "Z4" query) and says what a person has to do about it. An attempt that
// the service refused because its order id was taken charged nothing: it is listed as such,
// not queried.
#include "cli/pending.h"

#include <json/value.h>
#include <json/writer.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console_text.h"
#include "cli/orders_in_doubt.h"
#include "journal.h"
#include "log.h"
#include "platform/platform.h"
#include "request_parser.h"
#include "vortal_library.h"

namespace {

constexpr int kNothingToDo = 0;
constexpr int kPaidAfterFailure = 10;
constexpr int kNotChecked = 11;
constexpr int kCannotRead = 1;
constexpr int kBadArguments = 2;

constexpr std::string_view kSuccess = "00";
constexpr std::size_t kPieceSize = 64 * 1024;

void usage(std::FILE* stream) {
    print_to(
        stream,
        "usage: vortal-cli pending --agent AGENT --key KEY [--date YYYY-MM-DD] [--log-dir DIR]\n"
        "                          [--library PATH] [--json]\n"
        "       vortal-cli pending --help\n"
        "Lists the orders of the day's payment journal (default today) whose till was not told\n"
        "of a success, where each stands now at the payment service and what to do about it.\n"
        "  DIR   the journal's folder (default: the library's log folder)\n"
        "  PATH  the library that queries the orders (default: %s on the library path)\n"
        "Exit codes: 0 nothing to act on (a day without a journal included), 10 an order was\n"
        "paid after its till reported a failure, or is still paid after its till reported the\n"
        "refund done, 11 some orders could not be checked, 1 the journal or the library cannot\n"
        "be read, 2 bad arguments.\n",
        kDefaultLibraryFile);
}

struct Day {
    int year;
    int month;
    int day;
};

std::optional<Day> parse_day(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    auto number = [text](std::size_t from, std::size_t length) {
        int value = 0;
        for (const char c : text.substr(from, length)) {
            if (c < '0' || c > '9') return -1;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    const Day day{number(0, 4), number(5, 2), number(8, 2)};
    if (day.year < 0 || day.month < 1 || day.month > 12 || day.day < 1 || day.day > 31) {
        return std::nullopt;
    }
    return day;
}

struct Options {
    std::string agent;  // GBK
    std::string key;    // GBK
    Day day{};
    std::string log_dir;
    std::string library = kDefaultLibraryFile;
    bool json = false;
    bool help = false;
};

// "|" ends a field of the library's request text: an agent or key holding one cannot be
// passed on.
bool takes_field(std::string_view value, std::string& gbk) {
    return to_gbk(value, gbk) && vortal::passes_as_field(gbk);
}

std::optional<Options> parse_options(int argc, char** argv) {
    Options options;
    const vortal::platform::LocalTime today = vortal::platform::local_time();
    options.day = Day{today.year, today.month, today.day};
    for (int i = 0; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--json") {
            options.json = true;
            continue;
        }
        if (option == "--help" || option == "-h") {
            options.help = true;
            return options;
        }
        if (i + 1 >= argc) return std::nullopt;
        const std::string_view value = argv[++i];
        if (option == "--agent") {
            if (!takes_field(value, options.agent)) return std::nullopt;
        } else if (option == "--key") {
            if (!takes_field(value, options.key)) return std::nullopt;
        } else if (option == "--date") {
            const std::optional<Day> day = parse_day(value);
            if (!day) return std::nullopt;
            options.day = *day;
        } else if (option == "--log-dir") {
            options.log_dir = value;
        } else if (option == "--library") {
            options.library = value;
        } else {
            return std::nullopt;
        }
    }
    if (options.agent.empty() || options.key.empty()) return std::nullopt;
    return options;
}

// Reads the file front to back into reader, a piece at a time, at most limit bytes of it.
// Returns the number of bytes read, nothing when the file cannot be read.
std::optional<std::uint64_t> read_journal_file(const std::string& path, std::uint64_t limit,
                                               vortal::JournalReader& reader) {
    if (vortal::platform::is_directory(path.c_str())) return std::nullopt;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file) return std::nullopt;
    std::vector<char> piece(kPieceSize);
    std::uint64_t length = 0;
    while (length < limit) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), limit - length));
        const std::size_t got = std::fread(piece.data(), 1, wanted, file.get());
        if (got == 0) break;
        reader.feed(std::string_view(piece.data(), got));
        length += got;
    }
    if (std::ferror(file.get()) != 0) return std::nullopt;
    reader.finish();
    return length;
}

// Orders of the agent's key; the box service's orders are signed with the box's own key.
bool agent_order(std::string_view operation) {
    return operation == "Z1" || operation == "Z2" || operation == "Z3";
}

enum class Verdict {
    paid_after_failure,
    not_refunded,
    not_paid,
    refunded,
    unknown,
    box_order,
    duplicate_attempt,
    not_queryable,
};

// Where an order stands at the service now; an empty status when it could not be learned.
struct OrderStatus {
    std::string status;
    std::string amount;
    std::string query_code;     // of a failed query
    std::string query_message;  // of a failed query
};

OrderStatus query(const OrderInDoubt& order, VortalLibrary& library, const Options& options) {
    const std::string request =
        "Z4|" + options.agent + "|" + options.key + "|" + order.request_id + "|";
    const TransResult& result = *library.transact()(request.c_str());
    if (result.code != kSuccess) return OrderStatus{{}, {}, result.code, result.message};
    return OrderStatus{result.status, result.amount, {}, {}};
}

struct Finding {
    const Attempt* attempt;
    Verdict verdict;
    std::string amount;  // the journal's, else the service's (a refund names none)
    OrderStatus now;
};

Verdict verdict_of(std::string_view operation, const OrderStatus& now) {
    const bool refund = operation == "Z2";
    if (now.status.empty()) return Verdict::unknown;
    if (now.status == "SUCCESS")
        return refund ? Verdict::not_refunded : Verdict::paid_after_failure;
    if (now.status == "INIT") return Verdict::not_paid;
    return Verdict::refunded;
}

// Orders queried through the library. Z_ALITrans would take an id up to a "|" of its own and
// ask for another order; the "|" that is the trail byte of a character (東 is 96 7C) is part
// of the id.
bool queryable(const OrderInDoubt& order) {
    return agent_order(order.operation) && vortal::passes_as_field(order.request_id);
}

// The verdicts of an order's attempts. Its duplicate attempts charged nothing. The others are
// judged by one query of the order, when it can be queried; a refund whose till was told "00"
// is listed only when the order does not read refunded.
void judge(const OrderInDoubt& order, const Options& options, VortalLibrary* library,
           std::vector<Finding>& findings) {
    bool told_success = false;
    std::size_t in_doubt = 0;
    for (const Attempt& attempt : order.attempts) {
        if (attempt.duplicate) {
            findings.push_back(Finding{&attempt, Verdict::duplicate_attempt, attempt.amount, {}});
            continue;
        }
        ++in_doubt;
        told_success |= attempt.till_code == kSuccess;
    }
    if (in_doubt == 0) return;
    OrderStatus now;
    Verdict verdict = Verdict::box_order;
    if (queryable(order)) {
        now = query(order, *library, options);
        verdict = verdict_of(order.operation, now);
        if (told_success && now.status == "REFUND") return;
    } else if (agent_order(order.operation)) {
        verdict = Verdict::not_queryable;
    }
    for (const Attempt& attempt : order.attempts) {
        if (attempt.duplicate) continue;
        findings.push_back(
            Finding{&attempt, verdict, attempt.amount.empty() ? now.amount : attempt.amount, now});
    }
}

std::string verdict_text(const Finding& finding) {
    switch (finding.verdict) {
        case Verdict::paid_after_failure:
            return "PAID after the till reported failure: complete the sale or refund it";
        case Verdict::not_refunded:
            return "still paid: the refund did not go through";
        case Verdict::not_paid:
            return "not paid";
        case Verdict::refunded:
            return "refunded";
        case Verdict::unknown:
            return "still unknown: the query answered " + finding.now.query_code + " " +
                   shown(finding.now.query_message);
        case Verdict::duplicate_attempt:
            return "duplicate attempt: refused, its order id was taken; this attempt charged "
                   "nothing";
        case Verdict::not_queryable:
            return "cannot be queried: its request id holds \"|\"; ask the payment service";
        case Verdict::box_order:
            break;
    }
    return "box-service order: cannot be queried with the agent's key";
}

// What the till was told: a code, an empty code, or nothing at all.
std::string till_text(const Attempt& attempt) {
    if (!attempt.till_code) return "no answer";
    return attempt.till_code->empty() ? "empty" : *attempt.till_code;
}

// Orders whose state is not known: the query failed, or there is none to make.
bool not_checked(const Finding& finding) {
    return finding.verdict == Verdict::unknown || finding.verdict == Verdict::not_queryable ||
           finding.verdict == Verdict::box_order;
}

// Money that stands otherwise than the till was told: paid after a failure, or still paid
// after a refund reported done.
bool told_otherwise(const Finding& finding) {
    return finding.verdict == Verdict::paid_after_failure ||
           (finding.verdict == Verdict::not_refunded && finding.attempt->till_code == kSuccess);
}

void print_lines(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        const Attempt& attempt = *finding.attempt;
        print_to(stdout, "%s  %s  %s  %s  till %s  now %s  %s\n", attempt.time.c_str(),
                 attempt.operation.c_str(), shown(attempt.request_id).c_str(),
                 shown(finding.amount).c_str(), till_text(attempt).c_str(),
                 finding.now.status.empty() ? "-" : finding.now.status.c_str(),
                 verdict_text(finding).c_str());
    }
}

// JSON carries UTF-8; bytes that are not GBK become "?".
std::string json_text(std::string_view gbk) {
    std::string utf8;
    if (gbk_to_utf8(gbk, utf8)) return utf8;
    utf8.assign(gbk);
    for (char& c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return utf8;
}

// One item at a time, so that a long list is never held twice.
void print_json(const std::vector<Finding>& findings) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    writer["emitUTF8"] = false;
    const char* separator = "\n";
    print_to(stdout, "[");
    for (const Finding& finding : findings) {
        const Attempt& attempt = *finding.attempt;
        Json::Value item;
        item["requestId"] = json_text(attempt.request_id);
        item["operation"] = attempt.operation;
        item["amount"] = json_text(finding.amount);
        item["time"] = attempt.time;
        item["tillCode"] = attempt.till_code ? Json::Value(*attempt.till_code) : Json::Value();
        item["status"] = finding.now.status;
        item["paidAfterFailure"] = finding.verdict == Verdict::paid_after_failure;
        item["duplicateAttempt"] = finding.verdict == Verdict::duplicate_attempt;
        item["notChecked"] = not_checked(finding);
        std::string text = Json::writeString(writer, item);
        for (std::size_t at = text.find('\n'); at != std::string::npos;
             at = text.find('\n', at + 3))
            text.replace(at, 1, "\n  ");
        print_to(stdout, "%s  %s", separator, text.c_str());
        separator = ",\n";
    }
    print_to(stdout, findings.empty() ? "]\n" : "\n]\n");
}

// Reads the journal twice, the second time as far as the first: a till that appends meanwhile
// changes neither read.
int reconcile(const Options& options) {
    const std::string folder = options.log_dir.empty() ? vortal::log_directory() : options.log_dir;
    const Day& day = options.day;
    const std::string path = folder + vortal::platform::kPathSeparator +
                             vortal::journal_file_name(day.year, day.month, day.day);
    // A day without money operations leaves no journal: a quiet day is no failure.
    if (!vortal::platform::file_exists(path.c_str())) {
        print_to(options.json ? stderr : stdout, "no journal for %d-%02d-%02d: nothing to act on\n",
                 day.year, day.month, day.day);
        if (options.json) print_to(stdout, "[]\n");
        return kNothingToDo;
    }
    OrdersInDoubt gathered;
    vortal::JournalReader first(
        [&gathered](const vortal::JournalLine& line) { gathered.gather(line); });
    vortal::JournalReader second(
        [&gathered](const vortal::JournalLine& line) { gathered.settle(line); });
    const std::optional<std::uint64_t> length = read_journal_file(path, UINT64_MAX, first);
    if (length && !first.is_journal()) {
        print_to(stderr, "vortal-cli: %s is not a payment journal\n", shown_path(path).c_str());
        return kCannotRead;
    }
    if (!length || !read_journal_file(path, *length, second)) {
        print_to(stderr, "vortal-cli: cannot read the payment journal %s\n",
                 shown_path(path).c_str());
        return kCannotRead;
    }
    if (first.unreadable() > 0) {
        print_to(stderr, "vortal-cli: %zu unreadable lines of %s left out\n", first.unreadable(),
                 shown_path(path).c_str());
    }

    const std::vector<OrderInDoubt> orders = gathered.orders();
    std::unique_ptr<VortalLibrary> library;
    for (const OrderInDoubt& order : orders) {
        if (library || !queryable(order)) continue;
        library = std::make_unique<VortalLibrary>(options.library);
        if (library->transact() == nullptr) {
            print_to(stderr, "vortal-cli: %s\n", shown_path(library->error()).c_str());
            return kCannotRead;
        }
    }
    std::vector<Finding> findings;
    for (const OrderInDoubt& order : orders) judge(order, options, library.get(), findings);
    std::sort(findings.begin(), findings.end(),
              [](const Finding& a, const Finding& b) { return a.attempt->line < b.attempt->line; });

    if (options.json) {
        print_json(findings);
    } else if (findings.empty()) {
        print_to(stdout, "no order in doubt in %s\n", shown_path(path).c_str());
    } else {
        print_lines(findings);
    }
    std::fflush(stdout);
    if (std::any_of(findings.begin(), findings.end(), told_otherwise)) return kPaidAfterFailure;
    if (std::any_of(findings.begin(), findings.end(), not_checked)) return kNotChecked;
    return kNothingToDo;
}

}  // namespace

int run_pending(int argc, char** argv) {
    const std::optional<Options> options = parse_options(argc, argv);
    if (!options) {
        usage(stderr);
        return kBadArguments;
    }
    if (options->help) {
        usage(stdout);
        return kNothingToDo;
    }
    // Whatever fails ends with a word and the exit code of a journal that could not be read.
    try {
        return reconcile(*options);
    } catch (const std::bad_alloc&) {
        print_to(stderr, "vortal-cli: out of memory while reconciling the payment journal\n");
    } catch (const std::exception& failure) {
        print_to(stderr, "vortal-cli: %s\n", failure.what());
    }
    return kCannotRead;
}
