#include "loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tessary::testing {

int closed_loopback_port() {
    const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
    if (socket_fd < 0) throw std::runtime_error("no socket for a loopback port");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound =
        bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(socket_fd);
    if (!bound) throw std::runtime_error("cannot bind a loopback port");
    return ntohs(address.sin_port);
}

}  // namespace tessary::testing
