// HiSLIP transport: "TCPIP[board]::host::hislipN[,port]::INSTR" (port 4880 unless given).
// Open connects the synchronous and the asynchronous channel and agrees the largest
// message each side takes. Send is Data messages, the last one DataEND; Receive hands
// over the payload of the Data messages as it arrives, a partial chunk as from a socket.
// Every message length from the instrument is checked before anything is read into it.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "visa/ResourceName.h"
#include "visa/StreamChannel.h"
#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

class HislipTransport final : public Transport {
  public:
    static std::optional<LanInstrAddress> Parse(std::string_view name) {
        return ParseHislipResource(name);
    }
    static std::string Format(const LanInstrAddress& address) {
        return FormatLanInstrResource(address);
    }
    // VI_ERROR_RSRC_NFOUND when a channel cannot be connected or the server refuses the
    // session; within the open timeout, but at least 5 s. The lock key is the numeric
    // address and port reached and the sub-address.
    static ViStatus Open(const LanInstrAddress& address, uint32_t timeoutMs,
                         OpenedTransport& opened);

    IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline,
                  size_t& sent) override;
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                     size_t& received) override;
    void Interrupt() override;
    void SetNoDelay(bool on) override { sync_->Stream().SetNoDelay(on); }
    void SetKeepAlive(bool on) override { sync_->Stream().SetKeepAlive(on); }
    ViStatus GetAttribute(ViAttr attribute, void* value) const override;

    // The largest payload taken from the instrument (announced to it) and the largest
    // sent in one message.
    static constexpr uint64_t kMaxMessage = 1 << 20;

  private:
    HislipTransport(std::unique_ptr<StreamChannel> sync, std::unique_ptr<StreamChannel> async,
                    LanInstrAddress address, size_t maxWrite)
        : sync_(std::move(sync)),
          async_(std::move(async)),
          address_(std::move(address)),
          maxWrite_(maxWrite) {}

    std::unique_ptr<StreamChannel> sync_, async_;
    const LanInstrAddress address_;
    const size_t maxWrite_;
    uint32_t messageId_ = 0xFFFFFF00u;
    uint64_t payloadLeft_ = 0;  // of the Data message being received
    std::atomic<bool> interrupted_{false};
    bool lost_ = false;
};

}  // namespace kestrava::visa
