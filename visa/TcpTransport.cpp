#include "visa/TcpTransport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "visa/AttributeValue.h"

namespace kestrava::visa {
namespace {

// A connection attempt waits at least this long, or the open timeout when larger.
constexpr uint32_t kConnectTimeoutMs = 5000;

// The lock key: the numeric address the connection reached and the port, so that every
// name of one instrument ("localhost", "127.0.0.1", an alias) locks the same resource. The
// IPv6 loopback and IPv4-mapped addresses count as their IPv4 selves; the host text in
// lower case stands in when the address cannot be written.
std::string LockKeyOf(const addrinfo& reached, const SocketAddress& address) {
    char numeric[NI_MAXHOST] = {};
    std::string host;
    if (::getnameinfo(reached.ai_addr, reached.ai_addrlen, numeric, sizeof numeric, nullptr, 0,
                      NI_NUMERICHOST) == 0) {
        host = numeric;
        if (host == "::1") host = "127.0.0.1";
        if (host.rfind("::ffff:", 0) == 0 && host.find('.') != std::string::npos)
            host = host.substr(7);
        if (host.find(':') != std::string::npos) host = "[" + host + "]";
    } else {
        for (char c : address.host)
            host += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return host + ":" + std::to_string(address.port);
}

// Why the last failed connection attempt of this thread failed, as a person reads it.
thread_local std::string tLastOpenFailure;

bool ConnectOne(int fd, const addrinfo& ai, const Deadline& deadline) {
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) {
        tLastOpenFailure = std::strerror(errno);
        return false;
    }
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        int ready = ::poll(&p, 1, deadline.PollMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            tLastOpenFailure = "no answer to the connection";
            return false;
        }
        break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return true;
    tLastOpenFailure = std::strerror(error);
    return false;
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

ViStatus TcpTransport::Open(const SocketAddress& address, uint32_t timeoutMs,
                            OpenedTransport& opened) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(address.port);
    tLastOpenFailure.clear();
    if (const int found = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &list);
        found != 0 || !list) {
        tLastOpenFailure = found != 0 ? ::gai_strerror(found) : "no address";
        return VI_ERROR_RSRC_NFOUND;
    }
    Deadline deadline = Deadline::AfterMs(std::max(timeoutMs, kConnectTimeoutMs));
    std::unique_ptr<TcpTransport> result;
    std::string lockKey;
    for (addrinfo* ai = list; ai && !result; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          ai->ai_protocol);
        if (fd < 0) continue;
        if (ConnectOne(fd, *ai, deadline)) {
            result.reset(new TcpTransport(fd, address));
            lockKey = LockKeyOf(*ai, address);
        } else {
            ::close(fd);
        }
        if (deadline.Expired()) break;
    }
    ::freeaddrinfo(list);
    if (!result) return VI_ERROR_RSRC_NFOUND;
    result->SetNoDelay(true);
    opened.transport = std::move(result);
    opened.lockKey = lockKey;
    return VI_SUCCESS;
}

const std::string& TcpTransport::LastOpenFailure() {
    return tLastOpenFailure;
}

TcpTransport::~TcpTransport() {
    ::close(fd_);
}

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

IoStatus TcpTransport::Send(const uint8_t* data, size_t size, const Deadline& deadline,
                            size_t& sent) {
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

IoStatus TcpTransport::Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                               size_t& received) {
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

ViStatus TcpTransport::GetAttribute(ViAttr attribute, void* value) const {
    switch (attribute) {
        case VI_ATTR_TCPIP_PORT:
            return PutAttribute<ViUInt16>(address_.port, value);
        default:
            return PutTcpipAttribute(address_.board, address_.host, attribute, value);
    }
}

}  // namespace kestrava::visa
