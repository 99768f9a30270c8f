// Packing and unpacking 2,000 scripts of 20 KB against simply reading those files. Prints
// the median time of each and its ratio to the reading; the goal is a ratio of at most 3.
// Unpacking to files is dominated by the file system creating 2,000 files, so it is also
// set against simply writing those files. Not a test: run it by hand, e.g.
// build/default/db_upgrade/tessary_package_bench.
#include <algorithm>
#include <chrono>
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

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() /
                          ("tessary-package-bench-" + std::to_string(std::random_device{}()));
    const fs::path scripts = root / "scripts";
    const fs::path unpacked = root / "unpacked";
    const fs::path written = root / "written";
    fs::create_directories(scripts);
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
    // Taking the package apart as the applier does before it reaches the database.
    const auto take_apart = [&] {
        const auto package = system.read_file(package_path);
        pk::Reader reader(*package);
        std::size_t bytes = 0;
        while (auto record = reader.next()) bytes += record->text().size();
        require(reader.finished() && bytes == kScripts * kScriptBytes, "reading back failed");
    };
    // Unpacking to files: tessary-cli unpack's work, into a new folder.
    const auto unpack = [&] {
        fs::create_directory(unpacked);
        const auto package = system.read_file(package_path);
        const auto plan = pk::plan_package(*package, "MSS");
        require(plan.error.empty(), "unpacking failed");
        for (const auto& entry : plan.scripts) {
            const std::string path = system.join(unpacked.string(), entry.name);
            require(tessary::files::write_file(system, path, entry.text).empty(),
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
    return 0;
}
