// vortal-cli pending: reads a day's payment journal, takes every order whose till was not
// told of a success (an order without any outcome included) unless another attempt of its id
// was, asks the payment service through the loaded library where each agent order stands now
// (a "Z4" query) and says what a person has to do about it. An attempt that the service
// refused because its order id was taken charged nothing: it is listed as such, not queried.
#include "cli/pending.h"

#include <json/value.h>
#include <json/writer.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/console_text.h"
#include "journal.h"
#include "log.h"
#include "platform/platform.h"
#include "request_parser.h"
#include "vortal_library.h"

namespace {

constexpr int kNothingToDo = 0;
constexpr int kPaidAfterFailure = 10;
constexpr int kCannotRead = 1;
constexpr int kBadArguments = 2;

constexpr std::string_view kSuccess = "00";
constexpr std::string_view kRefused = "04";
constexpr char kDuplicateOrder[] = "订单号重复";

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
        "paid after its till reported a failure, 1 the journal or the library cannot be read,\n"
        "2 bad arguments.\n",
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

bool read_file(const std::string& path, std::string& text) {
    if (vortal::platform::is_directory(path.c_str())) return false;
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return false;
    text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return !stream.bad();
}

// One order of the journal: its "sent" line (or its "ended" line when that is all there is)
// and its outcome, when the till was told one.
struct Order {
    vortal::JournalLine sent;
    std::optional<vortal::JournalLine> ended;
};

// Each "ended" line closes the last open "sent" line of the same operation and request id.
std::vector<Order> orders_of(const std::vector<vortal::JournalLine>& lines) {
    std::vector<Order> orders;
    std::map<std::pair<std::string, std::string>, std::size_t> open;
    for (const vortal::JournalLine& line : lines) {
        const auto key = std::make_pair(line.operation, line.request_id);
        if (line.event == vortal::kJournalSent) {
            open[key] = orders.size();
            orders.push_back(Order{line, std::nullopt});
            continue;
        }
        const auto found = open.find(key);
        if (found == open.end()) {
            orders.push_back(Order{line, line});
        } else {
            orders[found->second].ended = line;
            open.erase(found);
        }
    }
    return orders;
}

bool ended_with_success(const Order& order) {
    return order.ended && order.ended->till_code == kSuccess;
}

// The service's words when it already has an order of the request id: this attempt was
// refused, and whatever the id's order holds belongs to another attempt.
bool refused_as_duplicate(const Order& order) {
    return order.ended && order.ended->till_code == kRefused &&
           order.ended->message.find(kDuplicateOrder) != std::string::npos;
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

struct Finding {
    const Order* order;
    Verdict verdict;
    std::string amount;         // the journal's, else the service's (a refund names none)
    std::string status;         // now; empty when the query failed
    std::string query_code;     // of a failed query
    std::string query_message;  // of a failed query
};

Finding look_up(const Order& order, VortalLibrary* library, const Options& options) {
    Finding finding{&order, Verdict::box_order, order.sent.amount, {}, {}, {}};
    if (library == nullptr) return finding;
    // Z_ALITrans would take the id up to a "|" of its own and ask for another order; the "|"
    // that is the trail byte of a character (東 is 96 7C) is part of the id.
    if (!vortal::passes_as_field(order.sent.request_id)) {
        finding.verdict = Verdict::not_queryable;
        return finding;
    }
    const std::string request =
        "Z4|" + options.agent + "|" + options.key + "|" + order.sent.request_id + "|";
    const TransResult& result = *library->transact()(request.c_str());
    if (result.code != kSuccess) {
        finding.verdict = Verdict::unknown;
        finding.query_code = result.code;
        finding.query_message = result.message;
        return finding;
    }
    finding.status = result.status;
    if (finding.amount.empty()) finding.amount = result.amount;
    const bool refund = order.sent.operation == "Z2";
    if (finding.status == "SUCCESS") {
        finding.verdict = refund ? Verdict::not_refunded : Verdict::paid_after_failure;
    } else if (finding.status == "INIT") {
        finding.verdict = Verdict::not_paid;
    } else {
        finding.verdict = Verdict::refunded;
    }
    return finding;
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
            return "still unknown: the query answered " + finding.query_code + " " +
                   shown(finding.query_message);
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
std::string till_text(const Order& order) {
    if (!order.ended) return "no answer";
    return order.ended->till_code.empty() ? "empty" : order.ended->till_code;
}

void print_lines(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        const vortal::JournalLine& sent = finding.order->sent;
        print_to(stdout, "%s  %s  %s  %s  till %s  now %s  %s\n", sent.time.c_str(),
                 sent.operation.c_str(), shown(sent.request_id).c_str(),
                 shown(finding.amount).c_str(), till_text(*finding.order).c_str(),
                 finding.status.empty() ? "-" : finding.status.c_str(),
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

void print_json(const std::vector<Finding>& findings) {
    Json::Value list(Json::arrayValue);
    for (const Finding& finding : findings) {
        const Order& order = *finding.order;
        Json::Value item;
        item["requestId"] = json_text(order.sent.request_id);
        item["operation"] = order.sent.operation;
        item["amount"] = json_text(finding.amount);
        item["time"] = order.sent.time;
        item["tillCode"] = order.ended ? Json::Value(order.ended->till_code) : Json::Value();
        item["status"] = finding.status;
        item["paidAfterFailure"] = finding.verdict == Verdict::paid_after_failure;
        item["duplicateAttempt"] = finding.verdict == Verdict::duplicate_attempt;
        list.append(item);
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    writer["emitUTF8"] = false;
    print_to(stdout, "%s\n", Json::writeString(writer, list).c_str());
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
    const std::string folder =
        options->log_dir.empty() ? vortal::log_directory() : options->log_dir;
    const Day& day = options->day;
    const std::string path = folder + vortal::platform::kPathSeparator +
                             vortal::journal_file_name(day.year, day.month, day.day);
    // A day without money operations leaves no journal: a quiet day is no failure.
    if (!vortal::platform::file_exists(path.c_str())) {
        print_to(options->json ? stderr : stdout,
                 "no journal for %d-%02d-%02d: nothing to act on\n", day.year, day.month, day.day);
        if (options->json) print_to(stdout, "[]\n");
        return kNothingToDo;
    }
    std::string text;
    if (!read_file(path, text)) {
        print_to(stderr, "vortal-cli: cannot read the payment journal %s\n",
                 shown_path(path).c_str());
        return kCannotRead;
    }
    const std::optional<vortal::JournalText> journal = vortal::read_journal(text);
    if (!journal) {
        print_to(stderr, "vortal-cli: %s is not a payment journal\n", shown_path(path).c_str());
        return kCannotRead;
    }
    if (journal->unreadable > 0) {
        print_to(stderr, "vortal-cli: %zu unreadable lines of %s left out\n", journal->unreadable,
                 shown_path(path).c_str());
    }

    // An order is judged by every line of its id: one attempt that ended "00" settles the
    // others, and an attempt refused as a duplicate charged nothing.
    const std::vector<Order> orders = orders_of(journal->lines);
    std::set<std::pair<std::string, std::string>> settled;
    for (const Order& order : orders) {
        if (ended_with_success(order)) settled.emplace(order.sent.operation, order.sent.request_id);
    }
    std::unique_ptr<VortalLibrary> library;
    std::vector<Finding> findings;
    for (const Order& order : orders) {
        if (ended_with_success(order)) continue;
        if (refused_as_duplicate(order)) {
            findings.push_back(
                Finding{&order, Verdict::duplicate_attempt, order.sent.amount, {}, {}, {}});
            continue;
        }
        if (settled.count({order.sent.operation, order.sent.request_id}) != 0) continue;
        const bool queried = agent_order(order.sent.operation);
        if (queried && !library) {
            library = std::make_unique<VortalLibrary>(options->library);
            if (library->transact() == nullptr) {
                print_to(stderr, "vortal-cli: %s\n", shown_path(library->error()).c_str());
                return kCannotRead;
            }
        }
        findings.push_back(look_up(order, queried ? library.get() : nullptr, *options));
    }

    if (options->json) {
        print_json(findings);
    } else if (findings.empty()) {
        print_to(stdout, "no order in doubt in %s\n", shown_path(path).c_str());
    } else {
        print_lines(findings);
    }
    std::fflush(stdout);
    for (const Finding& finding : findings) {
        if (finding.verdict == Verdict::paid_after_failure) return kPaidAfterFailure;
    }
    return kNothingToDo;
}
