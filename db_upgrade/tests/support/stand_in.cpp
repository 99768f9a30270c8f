#include "stand_in.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace tessary::testing {

StandIn::StandIn(const TempDir& dir, const std::vector<std::string>& arguments) : dir_(dir) {
    const std::string log_path = dir.file("stand-in.log");
    std::vector<std::string> words = {TESSARY_SQL_STAND_IN, "--port", "0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    child_ = fork();
    if (child_ < 0) throw std::runtime_error("cannot start tessary-sql-stand-in");
    if (child_ == 0) {
        const int out = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const std::string ready = "listening on 127.0.0.1:";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = log();
        const auto at = text.find(ready);
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            port_ = std::atoi(text.c_str() + at + ready.size());
            return;
        }
        if (waitpid(child_, nullptr, WNOHANG) == child_) {
            child_ = -1;
            throw std::runtime_error("tessary-sql-stand-in ended at once: " + text);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The destructor does not run for a constructor that throws.
    stop();
    throw std::runtime_error("tessary-sql-stand-in did not say it was listening");
}

StandIn::~StandIn() {
    stop();
}

void StandIn::stop() {
    if (child_ <= 0) return;
    kill(child_, SIGTERM);
    waitpid(child_, nullptr, 0);
    child_ = -1;
}

std::string StandIn::server_name() const {
    return "127.0.0.1," + std::to_string(port_);
}

std::string StandIn::log() const {
    return file_bytes(dir_.path() / "stand-in.log");
}

std::string StandIn::tsql(const std::string& database, const std::string& batches) const {
    put_file(dir_.path() / "tsql.in", batches);
    const std::string command = "tsql -o fhq -H 127.0.0.1 -p " + std::to_string(port_) +
                                " -U korvane -P tqzvbno -D '" + database + "' <'" +
                                dir_.file("tsql.in") + "' >'" + dir_.file("tsql.out") + "' 2>'" +
                                dir_.file("tsql.err") + "'";
    if (std::system(command.c_str()) == -1) return {};
    return file_bytes(dir_.path() / "tsql.out");
}

}  // namespace tessary::testing
