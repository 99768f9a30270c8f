// Debian's tinyproxy on a free loopback port, with a configuration of its own; it ends with
// the object. It tunnels CONNECT to the given port only (tinyproxy's ConnectPort), as a
// proxy that lets HTTPS through would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "test_support.h"

namespace test_support {

class TinyProxy {
  public:
    explicit TinyProxy(std::uint16_t connect_port = 0) {
        port_ = free_port();
        const std::string config = dir_.file("tinyproxy.conf");
        std::string text = "Port " + std::to_string(port_) +
                           "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                           "Timeout 30\nMaxClients 4\nLogLevel Critical\n";
        if (connect_port != 0) text += "ConnectPort " + std::to_string(connect_port) + "\n";
        write_file(config, text);
        const char* argv[] = {"tinyproxy", "-d", "-c", config.c_str(), nullptr};
        if (posix_spawnp(&pid_, "tinyproxy", nullptr, nullptr, const_cast<char* const*>(argv),
                         environ) != 0) {
            pid_ = -1;
            return;
        }
        for (int attempt = 0; attempt < 100 && !listening(); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~TinyProxy() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool listening() const {
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = loopback(port_);
        const bool connected =
            connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(client);
        return pid_ > 0 && connected;
    }
    std::uint16_t port() const { return port_; }
    std::string proxy_text() const { return "HTTP=HTTP://127.0.0.1:" + std::to_string(port_); }

  private:
    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    static std::uint16_t free_port() {
        const int probe = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
        close(probe);
        return ntohs(address.sin_port);
    }

    TempDir dir_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace test_support
