#include "tests/visa/TestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace kestrava::test {
namespace {

int ListenLoopback(uint16_t& port, bool listen) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("bind");
    if (listen && ::listen(fd, 16) != 0) throw std::runtime_error("listen");
    socklen_t length = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    port = ntohs(addr.sin_port);
    return fd;
}

std::string AddressOf(uint16_t port) {
    return "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
}

}  // namespace

bool ServerConnection::WaitReadable() {
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (p[1].revents) return false;
        return true;
    }
}

void ServerConnection::Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

std::string ServerConnection::ReceiveExactly(size_t size) {
    std::string out;
    char buffer[4096];
    while (out.size() < size && WaitReadable()) {
        ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, size - out.size()), 0);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

std::string ServerConnection::ReceiveLine() {
    std::string out;
    char c;
    while (WaitReadable() && ::recv(fd_, &c, 1, 0) == 1) {
        out += c;
        if (c == '\n') break;
    }
    return out;
}

void ServerConnection::WaitForClose() {
    char buffer[4096];
    while (WaitReadable() && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
}

TestServer::TestServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ListenLoopback(port_, true);
    if (::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    thread_ = std::thread([this] { Run(); });
}

TestServer::~TestServer() {
    char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string TestServer::Address() const {
    return AddressOf(port_);
}

void TestServer::Run() {
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno == EINTR) continue;
        if (p[1].revents) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ServerConnection connection(fd, wake_[0]);
        handler_(connection);
        ::close(fd);
    }
}

SilentListener::SilentListener() {
    fd_ = ListenLoopback(port_, true);
}
SilentListener::~SilentListener() {
    ::close(fd_);
}
std::string SilentListener::Address() const {
    return AddressOf(port_);
}

uint16_t ClosedPort() {
    uint16_t port = 0;
    int fd = ListenLoopback(port, false);
    ::close(fd);
    return port;
}

}  // namespace kestrava::test
