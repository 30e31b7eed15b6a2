#include "visa/TcpTransport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kestrava::visa {
namespace {

bool ConnectOne(int fd, const addrinfo& ai, const Deadline& deadline) {
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        int ready = ::poll(&p, 1, deadline.PollMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

IoStatus FromErrno(int error) {
    switch (error) {
        case EPIPE:
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ENETDOWN:
            return IoStatus::kClosed;
        default:
            return IoStatus::kError;
    }
}

}  // namespace

std::unique_ptr<TcpTransport> TcpTransport::Connect(const std::string& host, uint16_t port,
                                                    uint32_t timeoutMs, ViStatus& status) {
    status = VI_ERROR_RSRC_NFOUND;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list) return nullptr;
    Deadline deadline = Deadline::AfterMs(timeoutMs);
    std::unique_ptr<TcpTransport> result;
    for (addrinfo* ai = list; ai && !result; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        if (ConnectOne(fd, *ai, deadline)) {
            result.reset(new TcpTransport(fd));
        } else {
            ::close(fd);
        }
        if (deadline.Expired()) break;
    }
    ::freeaddrinfo(list);
    if (result) {
        status = VI_SUCCESS;
        result->SetNoDelay(true);
    }
    return result;
}

TcpTransport::~TcpTransport() { ::close(fd_); }

IoStatus TcpTransport::Wait(short events, const Deadline& deadline) {
    pollfd p{fd_, events, 0};
    for (;;) {
        if (interrupted_) return IoStatus::kClosed;
        int ready = ::poll(&p, 1, deadline.PollMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return IoStatus::kError;
        if (ready == 0) return IoStatus::kTimeout;
        if (interrupted_) return IoStatus::kClosed;
        return IoStatus::kOk;  // readiness or an error condition; the next call tells which
    }
}

IoStatus TcpTransport::Send(const uint8_t* data, size_t size, const Deadline& deadline, size_t& sent) {
    sent = 0;
    while (sent < size) {
        if (interrupted_) return IoStatus::kClosed;
        ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            IoStatus waited = Wait(POLLOUT, deadline);
            if (waited != IoStatus::kOk) return waited;
            continue;
        }
        return FromErrno(errno);
    }
    return IoStatus::kOk;
}

IoStatus TcpTransport::Receive(uint8_t* buffer, size_t size, const Deadline& deadline, size_t& received) {
    received = 0;
    for (;;) {
        if (interrupted_) return IoStatus::kClosed;
        ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n > 0) {
            received = static_cast<size_t>(n);
            return IoStatus::kOk;
        }
        if (n == 0) return IoStatus::kClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            IoStatus waited = Wait(POLLIN, deadline);
            if (waited != IoStatus::kOk) return waited;
            continue;
        }
        return FromErrno(errno);
    }
}

void TcpTransport::Interrupt() {
    interrupted_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

void TcpTransport::SetNoDelay(bool on) {
    int value = on ? 1 : 0;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void TcpTransport::SetKeepAlive(bool on) {
    int value = on ? 1 : 0;
    ::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value);
}

}  // namespace kestrava::visa
