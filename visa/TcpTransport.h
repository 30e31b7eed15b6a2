// Raw TCP transport: the SCPI-over-socket connection of "TCPIP::host::port::SOCKET".
// The socket is non-blocking and every wait is a poll() bounded by the caller's deadline;
// a dead peer is reported as kClosed, never as SIGPIPE.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "visa/ResourceName.h"
#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

class TcpTransport final : public Transport {
  public:
    // The resource-name form, for the transport registry.
    static std::optional<SocketAddress> Parse(std::string_view name) {
        return ParseSocketResource(name);
    }
    static std::string Format(const SocketAddress& address) {
        return FormatSocketResource(address);
    }
    // Connects within the open timeout, but waits at least 5 s. VI_ERROR_RSRC_NFOUND when
    // refused, unreachable, the host is unknown or nobody answers in time. The lock key is
    // the numeric address reached and the port: "localhost" and "127.0.0.1" are one resource.
    static ViStatus Open(const SocketAddress& address, uint32_t timeoutMs, OpenedTransport& opened);
    // Why this thread's last Open failed ("Connection refused"); empty after a success.
    static const std::string& LastOpenFailure();
    ~TcpTransport() override;

    IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline,
                  size_t& sent) override;
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                     size_t& received) override;
    void Interrupt() override;
    void SetNoDelay(bool on) override;
    void SetKeepAlive(bool on) override;
    ViStatus GetAttribute(ViAttr attribute, void* value) const override;

  private:
    TcpTransport(int fd, SocketAddress address) : fd_(fd), address_(std::move(address)) {}
    IoStatus Wait(short events, const Deadline& deadline);

    int fd_;
    const SocketAddress address_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace kestrava::visa
