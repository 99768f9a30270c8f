// Prints the peak resident memory of "vortal-cli pending" over a payment journal of 100 MB
// (or the size in MB given as the first argument) of a busy till's lines, against the goal of
// under 64 MB, with its time and exit code. Nearly every order ended "00"; about one in a
// hundred is in doubt and is queried through the library, against the substitute aggregator,
// which knows none of them (exit 11: not checked).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "aggregator.h"
#include "library_fixture.h"

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;
constexpr double kGoalMegabytes = 64;

// GBK texts as the library writes them.
const std::string kScanPaid = "\xce\xa2\xd0\xc5\xb1\xbb\xc9\xa8\xd6\xa7\xb8\xb6\xb3\xc9\xb9\xa6";
const std::string kRefunded = "\xcd\xcb\xbf\xee\xb3\xc9\xb9\xa6";
const std::string kNetwork =
    "\xcd\xf8\xc2\xe7\xc7\xeb\xc7\xf3\xb7\xa2\xcb\xcd\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xc8\xb7\xc8"
    "\xcf\xb5\xb1\xc7\xb0\xcd\xf8\xc2\xe7\xbb\xb7\xbe\xb3";

// One order's lines: 1 in 1000 a charge without an ending, 1 in 200 one that ended "02", 1 in
// 200 a refund (queried too), 1 in 20 a created order, the rest paid charges.
std::string order_lines(std::uint64_t number) {
    char id[32];
    std::snprintf(id, sizeof id, "0303%06lluT1", static_cast<unsigned long long>(number));
    const std::string sent = "2026-03-03 09:05:07\t%s\t" + std::string(id) + "\t12.50\tsent\t\t\t";
    const std::string ended = "2026-03-03 09:05:07\t%s\t" + std::string(id) + "\t12.50\tended\t";
    auto line = [](std::string text, const char* operation) {
        return text.replace(text.find("%s"), 2, operation) + "\r\n";
    };
    const std::string code = "**************1234\t";
    if (number % 1000 == 7) return line(sent + code, "Z1");
    if (number % 200 == 11)
        return line(sent + code, "Z1") + line(ended + "02\t\t" + code + kNetwork, "Z1");
    if (number % 200 == 17)
        return line(sent + "\t", "Z2") + line(ended + "00\tREFUND\t\t" + kRefunded, "Z2");
    if (number % 20 == 3)
        return line(sent + "\t", "Z3") +
               line(ended + "00\t\t\thttp://127.0.0.1:8080/pay/qr/" + id, "Z3");
    return line(sent + code, "Z1") + line(ended + "00\tSUCCESS\t" + code + kScanPaid, "Z1");
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t size = (argc > 1 ? std::stoull(argv[1]) : 100) * kMegabyte;
    aggregator::Aggregator service;
    service.add_agent("A1", "k3y");
    test_support::Settings settings;
    settings.port = service.start();
    test_support::LoadedLibrary library;
    library.configure(settings);

    const test_support::TempDir folder;
    {
        std::ofstream journal(folder.file("payments-2026-03-03.txt"), std::ios::binary);
        journal << "time\toperation\trequestId\tamount\tevent\ttillCode\tstatus\tauthCode\tmessage"
                   "\r\n";
        for (std::uint64_t number = 0; journal.tellp() < static_cast<std::streamoff>(size);
             ++number) {
            journal << order_lines(number);
        }
    }

    const std::string cli = VORTAL_CLI_PATH;
    const std::string log_dir = folder.path().string();
    const char* const arguments[] = {
        cli.c_str(), "pending",       "--agent",   "A1",
        "--key",     "k3y",           "--date",    "2026-03-03",
        "--log-dir", log_dir.c_str(), "--library", library.path().c_str(),
        "--json",    nullptr};
    posix_spawn_file_actions_t output;
    posix_spawn_file_actions_init(&output);
    posix_spawn_file_actions_addopen(&output, 1, "/dev/null", O_WRONLY, 0);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = -1;
    if (posix_spawn(&child, cli.c_str(), &output, nullptr, const_cast<char* const*>(arguments),
                    environ) != 0) {
        std::perror("vortal-cli");
        return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    posix_spawn_file_actions_destroy(&output);

    const double peak = static_cast<double>(usage.ru_maxrss) / 1024;  // ru_maxrss is in KiB
    std::printf(
        "vortal-cli pending over a %.0f MB journal: peak resident %.1f MB (goal: under "
        "%.0f MB), %.1f s, exit %d\n",
        static_cast<double>(size) / kMegabyte, peak, kGoalMegabytes, seconds,
        WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return WIFEXITED(status) && peak < kGoalMegabytes ? 0 : 1;
}
