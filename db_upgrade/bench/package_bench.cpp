// Packing and unpacking 2,000 scripts of 20 KB against simply reading those files. Prints
// the median time of each and its ratio to the reading; the goal is a ratio of at most 3.
// Unpacking to files is dominated by the file system creating 2,000 files, so it is also
// set against simply writing those files. Then the memory that tessary-cli list and unpack
// take at most for a package of one script of 300 MiB; the goal is at most 64 MiB, however
// large the script. Not a test: run it by hand, e.g.
// build/default/db_upgrade/tessary_package_bench.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/package.h"
#include "host/host.h"

namespace {

namespace fs = std::filesystem;
namespace pk = tessary::package;
using Clock = std::chrono::steady_clock;

constexpr int kScripts = 2000;
constexpr std::size_t kScriptBytes = 20 * 1024;
constexpr int kRuns = 7;
constexpr std::uint64_t kLargeScriptBytes = 300ull << 20;

// A script of exactly kScriptBytes: drop, GO, create, then a body of CR LF lines with a GBK
// comment (存储过程) now and then.
std::string make_script(int number) {
    const std::string name = "p_bench_MS_" + std::to_string(number);
    std::string text = "drop procedure " + name + "\r\ngo\r\ncreate procedure " + name +
                       " @branch_no varchar(6) as\r\nbegin\r\n";
    for (int line = 0; text.size() < kScriptBytes; ++line) {
        text += line % 8 == 0
                    ? "  -- \xb4\xe6\xb4\xa2\xb9\xfd\xb3\xcc " + std::to_string(line) + "\r\n"
                    : "  select flow_no , sale_qnty from t_rm_saleflow where item_no = '" +
                          std::to_string(line * number) + "'\r\n";
    }
    text.resize(kScriptBytes - 5);
    return text + "\r\nend";
}

// Times one run of `work` and returns the median of the runs so far.
double median_ms(const std::function<void()>& work, std::vector<double>& times) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "package_bench: %s\n", what);
        std::exit(1);
    }
}

// Writes a package of one procedure script of kLargeScriptBytes without holding it: the
// record's head, the script's lines from the last to the first, each reversed, the end.
void write_large_package(const fs::path& path) {
    const std::string head =
        "drop procedure p_large_MS\r\ngo\r\ncreate procedure p_large_MS as\r\nbegin\r\n";
    const std::string line =
        "    select flow_no , sale_qnty from t_rm_saleflow where item_no = '1'\r\n";
    const std::string tail = "end\r\n";
    const std::uint64_t lines = (kLargeScriptBytes - head.size() - tail.size()) / line.size();
    std::ofstream out(path, std::ios::binary);
    out << "$$$$$$P_LARGE_MS.sql^^^^" << std::string(tail.rbegin(), tail.rend());
    const std::string reversed(line.rbegin(), line.rend());
    std::string block;
    for (int i = 0; i < 1024; ++i) block += reversed;
    for (std::uint64_t left = lines; left > 0;) {
        const std::uint64_t now = std::min<std::uint64_t>(left, 1024);
        out.write(block.data(), static_cast<std::streamsize>(now * reversed.size()));
        left -= now;
    }
    out << std::string(head.rbegin(), head.rend()) << "####@@@@";
    require(out.good(), "writing the large package failed");
}

// The most memory, in MiB, that tessary-cli takes for `arguments`; its output goes nowhere.
double peak_mib(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TESSARY_CLI);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    require(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0,
            "tessary-cli did not start");
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    require(
        wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0,
        "tessary-cli failed");
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() /
                          ("tessary-package-bench-" + std::to_string(std::random_device{}()));
    const fs::path scripts = root / "scripts";
    const fs::path unpacked = root / "unpacked";
    const fs::path written = root / "written";
    fs::create_directories(scripts);

    // Memory first, while this program is small: a spawned program's peak counts from it.
    const fs::path large = root / "large.dat";
    write_large_package(large);
    const double list_mib = peak_mib({"list", large.string()});
    const double unpack_mib = peak_mib({"unpack", large.string(), (root / "large").string()});
    require(fs::file_size(root / "large" / "P_LARGE_MS.sql") > kLargeScriptBytes - 100,
            "unpacking the large package lost bytes");
    fs::remove_all(root / "large");
    fs::remove(large);

    for (int i = 0; i < kScripts; ++i) {
        std::ofstream(scripts / ("P_BENCH_MS_" + std::to_string(i) + ".sql"), std::ios::binary)
            << make_script(i);
    }
    const std::string package_path = (root / "db.dat").string();
    tessary::host::HostSystem system;

    // Reading: every file into memory, the plainest way.
    const auto read_all = [&] {
        std::size_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(scripts)) {
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
            bytes += text.size();
        }
        require(bytes == kScripts * kScriptBytes, "reading lost bytes");
    };
    // Writing: every script into a new folder, the plainest way.
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& entry : fs::directory_iterator(scripts)) {
        std::ifstream file(entry.path(), std::ios::binary);
        texts.emplace_back(
            entry.path().filename().string(),
            std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()));
    }
    const auto write_all = [&] {
        fs::create_directory(written);
        for (const auto& [name, text] : texts) {
            std::ofstream(written / name, std::ios::binary) << text;
        }
    };
    // Packing: the build button's and tessary-cli pack's work.
    const auto pack = [&] {
        const auto outcome = pk::pack_folder(system, scripts.string(), package_path);
        require(outcome.error.empty() && outcome.scripts.size() == kScripts, "packing failed");
    };
    // Taking the package apart as the applier does before it reaches the database: every
    // record found, every script read.
    const auto take_apart = [&] {
        const auto package = system.open_file(package_path);
        pk::Reader reader(*package);
        std::size_t bytes = 0;
        while (auto record = reader.next()) bytes += pk::record_text(*package, *record)->size();
        require(reader.finished() && bytes == kScripts * kScriptBytes, "reading back failed");
    };
    // Unpacking to files: tessary-cli unpack's work, into a new folder.
    const auto unpack = [&] {
        fs::create_directory(unpacked);
        const auto package = system.open_file(package_path);
        const auto plan = pk::plan_package(*package, "MSS");
        require(plan.error.empty(), "unpacking failed");
        for (const auto& entry : plan.scripts) {
            const std::string path = system.join(unpacked.string(), entry.record.name);
            pk::RecordText text(*package, entry.record);
            require(tessary::files::write_file(system, path, text).empty(),
                    "writing a script failed");
        }
    };

    std::vector<double> read_times, write_times, pack_times, apart_times, unpack_times;
    double read_ms = 0, write_ms = 0, pack_ms = 0, apart_ms = 0, unpack_ms = 0;
    for (int run = 0; run < kRuns; ++run) {
        read_ms = median_ms(read_all, read_times);
        write_ms = median_ms(write_all, write_times);
        fs::remove_all(written);
        pack_ms = median_ms(pack, pack_times);
        apart_ms = median_ms(take_apart, apart_times);
        unpack_ms = median_ms(unpack, unpack_times);
        fs::remove_all(unpacked);
    }
    fs::remove_all(root);

    std::printf("%d scripts of %zu bytes (%.1f MiB), median of %d runs\n", kScripts, kScriptBytes,
                kScripts * kScriptBytes / 1048576.0, kRuns);
    std::printf("  read the files            %8.1f ms\n", read_ms);
    std::printf("  write the files           %8.1f ms\n", write_ms);
    std::printf("  pack into db.dat          %8.1f ms   ratio %.2f\n", pack_ms, pack_ms / read_ms);
    std::printf("  take db.dat apart         %8.1f ms   ratio %.2f\n", apart_ms,
                apart_ms / read_ms);
    std::printf("  unpack db.dat to files    %8.1f ms   ratio %.2f (to writing: %.2f)\n", unpack_ms,
                unpack_ms / read_ms, unpack_ms / write_ms);
    std::printf("goal: each ratio at most 3\n");
    std::printf(
        "one script of %llu MiB: tessary-cli list takes at most %.1f MiB, unpack %.1f MiB\n",
        static_cast<unsigned long long>(kLargeScriptBytes >> 20), list_mib, unpack_mib);
    std::printf("goal: at most 64 MiB each\n");
    return 0;
}
