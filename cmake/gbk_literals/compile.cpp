// korvane-gbk-compile COMPILER ARGUMENT...: the compiler launcher of a GBK target built by a
// compiler without a GBK execution character set (clang). It compiles the source as
// "COMPILER ARGUMENT..." would, with every narrow literal in GBK:
//   1. COMPILER -E -frewrite-includes: the source with its headers written in, macros and
//      line markers kept (and the dependency file written, as the build asked);
//   2. escape_literals over that text, so headers' literals are covered as well;
//   3. COMPILER on the result, with the original arguments less the dependency ones.
// A command that compiles no single source ("-c" and "-o") runs unchanged.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "gbk_literals.h"

extern char** environ;

namespace {

int run(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        return 127;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The position of the value of option in command, or 0 when it is not there.
std::size_t value_of(const std::vector<std::string>& command, const std::string& option) {
    for (std::size_t i = 1; i + 1 < command.size(); ++i) {
        if (command[i] == option) return i + 1;
    }
    return 0;
}

bool is_dependency_option(const std::string& argument) {
    return argument == "-MD" || argument == "-MMD";
}

bool takes_dependency_value(const std::string& argument) {
    return argument == "-MT" || argument == "-MF" || argument == "-MQ";
}

// Removes the file when it goes out of scope.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() { std::remove(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> command(argv + 1, argv + argc);
    if (command.empty()) {
        std::cerr << "usage: korvane-gbk-compile COMPILER ARGUMENT...\n";
        return 2;
    }
    const std::size_t source = value_of(command, "-c");
    const std::size_t object = value_of(command, "-o");
    if (source == 0 || object == 0) return run(command);

    const TemporaryFile rewritten(command[object] + ".gbk-in.cpp");
    const TemporaryFile escaped(command[object] + ".gbk.cpp");

    std::vector<std::string> preprocess = command;
    preprocess[source - 1] = "-E";
    preprocess[object] = rewritten.path();
    preprocess.push_back("-frewrite-includes");
    if (const int status = run(preprocess)) return status;

    std::ifstream in(rewritten.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        std::ofstream out(escaped.path(), std::ios::binary | std::ios::trunc);
        out << gbk_literals::escape_literals(text, command[source]);
        if (!out.flush()) {
            std::cerr << "korvane-gbk-compile: cannot write " << escaped.path() << "\n";
            return 1;
        }
    } catch (const std::runtime_error& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }

    std::vector<std::string> compile;
    for (std::size_t i = 0; i < command.size(); ++i) {
        if (is_dependency_option(command[i])) continue;
        if (takes_dependency_value(command[i])) {
            ++i;
            continue;
        }
        compile.push_back(i == source ? escaped.path() : command[i]);
    }
    return run(compile);
}
