// VXI-11 transport: "TCPIP[board]::host[::device]::INSTR". Open asks the host's portmapper
// (port 111, or $KESTRAVA_PORTMAPPER_PORT) where the instrument's core channel listens,
// connects there and creates a link to the device. Send is device_write calls (END with
// the last byte), Receive one device_read that returns what the instrument has, up to the
// count: a partial chunk, as from a socket. Every wait is bounded by the caller's deadline
// and the instrument is told the same time as its I/O timeout; a reply that comes after
// the deadline is still taken before the next call, so its data is not lost.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "visa/OncRpcClient.h"
#include "visa/ResourceName.h"
#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

class Vxi11Transport final : public Transport {
  public:
    static std::optional<LanInstrAddress> Parse(std::string_view name) {
        return ParseVxi11Resource(name);
    }
    static std::string Format(const LanInstrAddress& address) {
        return FormatLanInstrResource(address);
    }
    // VI_ERROR_RSRC_NFOUND when no portmapper answers, the instrument is not registered
    // with it, or the link is refused; within the open timeout, but at least 5 s. The lock
    // key is the numeric address reached and the device name.
    static ViStatus Open(const LanInstrAddress& address, uint32_t timeoutMs,
                         OpenedTransport& opened);
    // The portmapper's port: 111 unless $KESTRAVA_PORTMAPPER_PORT names another.
    static uint16_t PortmapperPort();
    ~Vxi11Transport() override;

    IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline,
                  size_t& sent) override;
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                     size_t& received) override;
    void Interrupt() override;
    void SetNoDelay(bool on) override { rpc_->Stream().SetNoDelay(on); }
    void SetKeepAlive(bool on) override { rpc_->Stream().SetKeepAlive(on); }
    ViStatus GetAttribute(ViAttr attribute, void* value) const override;

    // The most one device_read asks for, and one device_write carries.
    static constexpr size_t kMaxChunk = 1 << 20;

  private:
    Vxi11Transport(std::unique_ptr<OncRpcClient> rpc, LanInstrAddress address, uint32_t link,
                   size_t maxWrite)
        : rpc_(std::move(rpc)), address_(std::move(address)), link_(link), maxWrite_(maxWrite) {}
    IoStatus Settle(const Deadline& deadline);
    IoStatus TakeReadReply(const Deadline& deadline);

    std::unique_ptr<OncRpcClient> rpc_;
    const LanInstrAddress address_;
    const uint32_t link_;
    const size_t maxWrite_;
    size_t requested_ = 0;        // the count of the device_read awaited
    std::vector<uint8_t> early_;  // data of a reply that came after its Receive gave up
    size_t earlyAt_ = 0;
    std::atomic<bool> interrupted_{false};
    bool lost_ = false;
};

}  // namespace kestrava::visa
