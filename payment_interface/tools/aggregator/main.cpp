// vortal-aggregator: the substitute payment aggregator as a program, for the demonstration
// and for trying the library by hand. Runs until SIGINT or SIGTERM.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aggregator.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: vortal-aggregator [--port N] [--agent NO:KEY]... [--machine NO:KEY]...\n"
                 "                         [--paid-after QUERIES] [--fault NAME[:COMMAND]]...\n"
                 "                         [--tls-cert FILE --tls-key FILE]\n"
                 "Prints the port it listens on (127.0.0.1), then serves until interrupted;\n"
                 "with a certificate (PEM, its chain after it) and its key it serves HTTPS only.\n"
                 "then says on stderr how many exchanges it had, and how many overlapped.\n"
                 "Faults (for every command, or only COMMAND): bad-signature, unsigned,\n"
                 "server-error, refuse, refuse-with-code, slow, empty-data, unknown-status,\n"
                 "cut-with-length, cut-without-length, never-answer, trickle, oversized-body,\n"
                 "chunked, other-order, duplicate-data, long-url.\n");
}

bool split_pair(const char* text, std::string& first, std::string& second) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr || colon == text) return false;
    first.assign(text, colon);
    second.assign(colon + 1);
    return !second.empty();
}

}  // namespace

int main(int argc, char** argv) {
    aggregator::Aggregator service;
    long port = 0;
    std::string certificate;
    std::string private_key;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const char* value = argv[++i];
        std::string number;
        std::string key;
        if (option == "--port") {
            port = std::strtol(value, nullptr, 10);
        } else if (option == "--agent" && split_pair(value, number, key)) {
            service.add_agent(number, key);
        } else if (option == "--machine" && split_pair(value, number, key)) {
            service.add_machine(number, key);
        } else if (option == "--fault") {
            const std::string text = value;
            const std::size_t colon = text.find(':');
            const auto fault = aggregator::fault_named(text.substr(0, colon));
            if (!fault) {
                usage();
                return 2;
            }
            service.set_fault(colon == std::string::npos ? "" : text.substr(colon + 1), *fault);
        } else if (option == "--tls-cert") {
            certificate = value;
        } else if (option == "--tls-key") {
            private_key = value;
        } else if (option == "--paid-after") {
            service.set_paid_after_queries(static_cast<int>(std::strtol(value, nullptr, 10)));
        } else {
            usage();
            return 2;
        }
    }
    if (port < 0 || port > 65535 || certificate.empty() != private_key.empty()) {
        usage();
        return 2;
    }

    // Block the signals before any thread starts, then wait for one of them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        if (!certificate.empty()) service.use_tls(certificate, private_key);
        std::printf("%u\n", static_cast<unsigned>(service.start(static_cast<std::uint16_t>(port))));
        std::fflush(stdout);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vortal-aggregator: %s\n", error.what());
        return 1;
    }
    int received = 0;
    sigwait(&signals, &received);
    service.stop();

    // For the tests of callers on many threads: the library's exchanges must follow one another.
    auto exchanges = service.exchanges();
    std::sort(exchanges.begin(), exchanges.end(),
              [](const auto& a, const auto& b) { return a.received < b.received; });
    std::size_t overlapping = 0;
    for (std::size_t i = 1; i < exchanges.size(); ++i) {
        if (exchanges[i].received < exchanges[i - 1].answered) ++overlapping;
    }
    std::fprintf(stderr, "vortal-aggregator: %zu exchanges, %zu overlapping\n", exchanges.size(),
                 overlapping);
    return 0;
}
