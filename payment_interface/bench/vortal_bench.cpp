// Measures, on one loopback server: the median time of a "Z4" query through Z_ALITrans
// against a bare libcurl GET of the same answer (goal: ratio at most 1.2), in plain HTTP and
// over TLS (each side resuming its TLS sessions), the median time of a "Z1" charge and the
// part of it that the payment journal takes (goal: at most 1 ms, of which the disk's flush is
// shown apart), and the resident memory after 1,000 and after 20,000 calls (goal: no growth).
#include <curl/curl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "aggregator.h"
#include "journal.h"
#include "library_fixture.h"
#include "platform/platform.h"
#include "test_certificates.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimingRounds = 2000;
constexpr int kChargeRounds = 300;
constexpr int kMemoryCallsEarly = 1000;
constexpr int kMemoryCallsMiddle = 10000;
constexpr int kMemoryCallsLate = 20000;

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// A fresh handle for each GET, as the library makes one for each exchange; over TLS the
// handles resume their sessions through the share.
bool bare_get(const std::string& url, CURLSH* sessions = nullptr, const char* ca_file = nullptr) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    if (sessions != nullptr) curl_easy_setopt(curl, CURLOPT_SHARE, sessions);
    if (ca_file != nullptr) curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file);
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
// library's (and libcurl's) alone; over TLS when given a certificate and its key. Returns the
// port it listens on.
std::uint16_t start_service_process(pid_t& child, const std::string& certificate = "",
                                    const std::string& key = "") {
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
        if (!certificate.empty()) service.use_tls(certificate, key);
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

// The journal's part of one charge, alone: its "sent" line on the disk, then its "ended" line.
double journal_per_charge_us() {
    vortal::TransRequest request{};
    request.operation = vortal::Operation::scan_pay;
    vortal::copy_bounded(request.request_id, "12090256023T1");
    vortal::copy_bounded(request.amount, "0.01");
    vortal::copy_bounded(request.auth_code, "130000001234");
    TransResult result{};
    vortal::copy_bounded(result.code, "00");
    vortal::copy_bounded(result.status, "SUCCESS");
    std::vector<double> samples;
    for (int round = 0; round < kChargeRounds; ++round) {
        const auto start = Clock::now();
        { const vortal::JournalEntry entry(request, result); }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return median_us(samples);
}

void flush_to_disk(const std::string& file) {
    vortal::platform::OutputFile output;
    if (output.open_for_append(file.c_str())) output.flush_to_disk();
}

// What the disk takes to flush one appended line: the floor of the journal's cost.
double disk_flush_us(const std::string& file) {
    std::vector<double> samples;
    for (int round = 0; round < kChargeRounds; ++round) {
        vortal::platform::OutputFile output;
        if (!output.open_for_append(file.c_str()) || !output.write("flush\r\n")) return -1;
        const auto start = Clock::now();
        output.flush_to_disk();
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return median_us(samples);
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
    // The payment journal goes to a folder of the benchmark's own, on the disk it runs on.
    const test_support::TempDir box_folder;
    test_support::write_file(
        box_folder.file("registry.ini"),
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix]\r\nPath=" + box_folder.path().string() + "\r\n");
    test_support::set_environment("KORVANE_REGISTRY_FILE", box_folder.file("registry.ini"));

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

    auto timed = [](auto&& exchange) {
        const auto start = Clock::now();
        exchange();
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    };
    // Alternating which goes first, so that neither pays for what the other left behind on
    // the server (a connection thread still winding down).
    auto compare = [&timed](const char* label, auto&& query, auto&& bare) {
        std::vector<double> through_library;
        std::vector<double> bare_times;
        for (int round = 0; round < kTimingRounds; ++round) {
            if (round % 2 == 0) {
                through_library.push_back(timed(query));
                bare_times.push_back(timed(bare));
            } else {
                bare_times.push_back(timed(bare));
                through_library.push_back(timed(query));
            }
        }
        const double library_median = median_us(through_library);
        const double bare_median = median_us(bare_times);
        std::printf("Z4 %-5s through Z_ALITrans:   %8.1f us (median)\n", label, library_median);
        std::printf("bare libcurl %-5s GET:        %8.1f us (median)\n", label, bare_median);
        std::printf("ratio %-5s (goal <= 1.2):     %8.2f\n", label, library_median / bare_median);
    };
    compare("HTTP", query_ok, [&] { bare_get(url); });

    // The same over TLS, from another aggregator, each side resuming its sessions.
    const test_support::TestCertificates certificates;
    ServiceProcess tls_service;
    test_support::Settings tls_settings = settings;
    tls_settings.host = "localhost";
    tls_settings.protocol = "https";
    tls_settings.port = certificates.made() ? start_service_process(tls_service.pid,
                                                                    certificates.file("server.pem"),
                                                                    certificates.file("server.key"))
                                            : 0;
    if (tls_settings.port == 0) {
        std::fprintf(stderr, "vortal-bench: the TLS aggregator did not start\n");
        return 1;
    }
    const std::string ca_file = certificates.file("ca.pem");
    test_support::set_environment("SSL_CERT_FILE", ca_file);
    library.configure(tls_settings);
    CURLSH* sessions = curl_share_init();
    curl_share_setopt(sessions, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    const std::string tls_url = "https://localhost:" + std::to_string(tls_settings.port) + address;
    for (int i = 0; i < 100; ++i) {
        if (!query_ok() || !bare_get(tls_url, sessions, ca_file.c_str())) {
            std::fprintf(stderr, "vortal-bench: warm-up exchange over TLS failed\n");
            return 1;
        }
    }
    compare("TLS", query_ok, [&] { bare_get(tls_url, sessions, ca_file.c_str()); });
    curl_share_cleanup(sessions);
    library.configure(settings);

    // Each charge is paid at its first query; its id holds the terminal number, so each gets
    // a terminal of its own. Charges with and without the journal alternate: without it, the
    // box service's folder is a file, under which no journal can be written.
    const std::string no_journal = box_folder.file("no-journal.ini");
    test_support::write_file(box_folder.file("file"), "");
    test_support::write_file(no_journal, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnix]\r\nPath=" +
                                             box_folder.file("file") + "\r\n");
    const std::string configuration =
        std::filesystem::path(library.path()).replace_filename("Z_AllITrans.ini").string();
    std::vector<double> charges[2];
    int failed_charges = 0;
    for (int round = 0; round < 2 * kChargeRounds; ++round) {
        const bool journalled = round % 2 == 0;
        test_support::set_environment("KORVANE_REGISTRY_FILE",
                                      journalled ? box_folder.file("registry.ini") : no_journal);
        settings.terminal_no = "B" + std::to_string(round);
        library.configure(settings);
        flush_to_disk(configuration);  // so that the charge's own flush carries nothing else
        charges[journalled].push_back(timed([&] {
            if (std::string(library.call("Z1|A1|k3y|130000001234|0.01|C7|")->code) != "00") {
                ++failed_charges;
            }
        }));
    }
    test_support::set_environment("KORVANE_REGISTRY_FILE", box_folder.file("registry.ini"));
    const double with_journal = median_us(charges[1]);
    const double without_journal = median_us(charges[0]);
    std::printf("Z1 through Z_ALITrans, median:   %8.1f us (a charge and one query)\n",
                with_journal);
    std::printf("Z1 without the journal, median:  %8.1f us\n", without_journal);
    std::printf("journal's cost per Z1:           %8.1f us (goal <= 1000)\n",
                with_journal - without_journal);
    std::printf("  the journal alone, median:     %8.1f us\n", journal_per_charge_us());
    std::printf("  of which the disk's flush:     %8.1f us\n",
                disk_flush_us(box_folder.file("flush-probe")));

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
    std::printf("failed calls:                    %8d\n", failures + failed_charges);
    curl_global_cleanup();
    return failures + failed_charges == 0 ? 0 : 1;
}
