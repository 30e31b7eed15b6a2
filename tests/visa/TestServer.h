// A small TCP server for the VISA tests: it accepts connections on 127.0.0.1 and runs a
// scripted handler on each, one after another, on its own thread. Every wait of a handler
// also ends when the server is destroyed, so a failed test cannot hang.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace kestrava::test {

class ServerConnection {
  public:
    ServerConnection(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}
    int Fd() const { return fd_; }
    void Send(const std::string& bytes);
    // Receives until `size` bytes came, the peer closed or the server stops.
    std::string ReceiveExactly(size_t size);
    // Receives up to and including the first line feed.
    std::string ReceiveLine();
    // Blocks until the peer closes or the server stops.
    void WaitForClose();

  private:
    bool WaitReadable();
    int fd_;
    int wakeFd_;
};

class TestServer {
  public:
    using Handler = std::function<void(ServerConnection&)>;
    explicit TestServer(Handler handler);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    uint16_t Port() const { return port_; }
    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string Address() const;

  private:
    void Run();

    Handler handler_;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread thread_;
};

// A listening socket that nobody accepts on: the kernel still completes connections up to
// the backlog, which is all a session needs to open. No thread, so the test may fork.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    uint16_t Port() const { return port_; }
    std::string Address() const;

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (connections are refused).
uint16_t ClosedPort();

}  // namespace kestrava::test
