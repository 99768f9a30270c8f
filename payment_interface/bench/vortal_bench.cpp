// Measures, on one loopback server: the median time of a "Z4" query through Z_ALITrans
// against a bare libcurl GET of the same answer (goal: ratio at most 1.2), and the resident
// memory after 1,000 and after 20,000 calls (goal: no growth).
#include <curl/curl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "aggregator.h"
#include "library_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimingRounds = 2000;
constexpr int kMemoryCallsEarly = 1000;
constexpr int kMemoryCallsMiddle = 10000;
constexpr int kMemoryCallsLate = 20000;

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

bool bare_get(const std::string& url) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    const bool done = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_cleanup(curl);
    return done;
}

double median_us(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

long resident_kib() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// Ends the aggregator's process with the benchmark, on every path.
struct ServiceProcess {
    pid_t pid = -1;
    ~ServiceProcess() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// Runs the aggregator in a child process, so that the resident memory measured here is the
// library's (and libcurl's) alone. Returns the port it listens on.
std::uint16_t start_service_process(pid_t& child) {
    int ready[2];
    if (pipe(ready) != 0) return 0;
    child = fork();
    if (child == 0) {
        close(ready[0]);
        aggregator::Aggregator service;
        service.add_agent("A1", "k3y");
        aggregator::Order order;
        order.request_id = "R1";
        order.agent_no = "A1";
        order.shop_no = "S1";
        order.amount = "12.50";
        order.status = "SUCCESS";
        order.order_time = "2026-03-03 09:05:07";
        order.bank_order_no = "420000000777";
        service.put_order(order);
        const std::uint16_t port = service.start();
        [[maybe_unused]] const ssize_t written = write(ready[1], &port, sizeof port);
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            service.clear_exchanges();
        }
    }
    close(ready[1]);
    std::uint16_t port = 0;
    if (child < 0 || read(ready[0], &port, sizeof port) != sizeof port) port = 0;
    close(ready[0]);
    return port;
}

}  // namespace

int main() {
    ServiceProcess service;
    test_support::Settings settings;
    settings.port = start_service_process(service.pid);
    if (settings.port == 0) {
        std::fprintf(stderr, "vortal-bench: the aggregator did not start\n");
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    test_support::LoadedLibrary library;
    library.configure(settings);

    const std::string address = "/pay/api?cmd=AGENTQUERY&agentNo=A1&shopNo=S1&requestId=R1&hmac=" +
                                aggregator::hmac_md5_hex("AGENTQUERYA1S1R1", "k3y");
    const std::string url = "http://127.0.0.1:" + std::to_string(settings.port) + address;
    const char* request = "Z4|A1|k3y|R1|";

    auto query_ok = [&] { return std::string(library.call(request)->code) == "00"; };
    for (int i = 0; i < 100; ++i) {
        if (!query_ok() || !bare_get(url)) {
            std::fprintf(stderr, "vortal-bench: warm-up exchange failed\n");
            return 1;
        }
    }

    std::vector<double> through_library;
    std::vector<double> bare;
    // Alternating which goes first, so that neither pays for what the other left behind on
    // the server (a connection thread still winding down).
    auto timed = [](auto&& exchange) {
        const auto start = Clock::now();
        exchange();
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    };
    for (int round = 0; round < kTimingRounds; ++round) {
        if (round % 2 == 0) {
            through_library.push_back(timed(query_ok));
            bare.push_back(timed([&] { bare_get(url); }));
        } else {
            bare.push_back(timed([&] { bare_get(url); }));
            through_library.push_back(timed(query_ok));
        }
    }
    const double library_median = median_us(through_library);
    const double bare_median = median_us(bare);
    std::printf("Z4 through Z_ALITrans, median:   %8.1f us\n", library_median);
    std::printf("bare libcurl GET, median:        %8.1f us\n", bare_median);
    std::printf("ratio (goal <= 1.2):             %8.2f\n", library_median / bare_median);

    int failures = 0;
    long early = 0;
    long middle = 0;
    for (int call = 1; call <= kMemoryCallsLate; ++call) {
        if (!query_ok()) ++failures;
        if (call == kMemoryCallsEarly) early = resident_kib();
        if (call == kMemoryCallsMiddle) middle = resident_kib();
    }
    const long late = resident_kib();
    std::printf("resident after %5d calls:       %8ld KiB\n", kMemoryCallsEarly, early);
    std::printf("resident after %5d calls:       %8ld KiB\n", kMemoryCallsMiddle, middle);
    std::printf("resident after %5d calls:       %8ld KiB (growth %ld KiB)\n", kMemoryCallsLate,
                late, late - early);
    std::printf("failed calls:                    %8d\n", failures);
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
