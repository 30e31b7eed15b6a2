// Raw TCP transport: the SCPI-over-socket connection of "TCPIP::host::port::SOCKET".
// The socket is non-blocking and every wait is a poll() bounded by the caller's deadline;
// a dead peer is reported as kClosed, never as SIGPIPE.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

class TcpTransport final : public Transport {
public:
    // Connects within timeoutMs. On failure returns nullptr and sets status to
    // VI_ERROR_RSRC_NFOUND (refused, unreachable, unknown host, no answer in time).
    static std::unique_ptr<TcpTransport> Connect(const std::string& host, uint16_t port,
                                                 uint32_t timeoutMs, ViStatus& status);
    ~TcpTransport() override;

    IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline, size_t& sent) override;
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline, size_t& received) override;
    void Interrupt() override;
    void SetNoDelay(bool on) override;
    void SetKeepAlive(bool on) override;

private:
    explicit TcpTransport(int fd) : fd_(fd) {}
    IoStatus Wait(short events, const Deadline& deadline);

    int fd_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace kestrava::visa
