#include "tools/kestrava-scopesim/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace kestrava::scopesim {

bool SendAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveExactly(int fd, int wakeFd, void* buffer, size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < size) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (p[1].revents) return false;
        ssize_t n = ::recv(fd, bytes + got, size - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace kestrava::scopesim
