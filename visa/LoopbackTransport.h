// An in-memory transport to a scripted peer in this process, for tests that drive an
// instrument through the VISA calls without sockets: "LOOPBACK::<name>::INSTR" (or
// "::SOCKET") reaches the LoopbackPeer serving <name>. Each open is a connection of its
// own; the peer's handler answers every write, and its answer waits to be read.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

struct LoopbackAddress {
    std::string name;  // letters, digits, '_', '-', '.'; compared with case
    bool instr = true;
};

class LoopbackTransport final : public Transport {
  public:
    // Gets the bytes of one write, exactly as sent; returns the bytes to queue for reading.
    using Handler = std::function<std::string(std::string_view written)>;

    // What a peer shares with the connections made to it.
    struct Peer {
        std::mutex handlerMutex;  // one handler call at a time; a withdrawn peer waits for it
        Handler handler;
        std::mutex mutex;  // guards hungUp and every connection's queue
        std::condition_variable changed;
        bool hungUp = false;
    };
    // Makes name reach peer for the opens that follow, in place of any earlier peer.
    static void Serve(const std::string& name, std::shared_ptr<Peer> peer);
    // Ends peer: its connections read what is queued, then are lost; name is served no more.
    static void Hangup(const std::string& name, const std::shared_ptr<Peer>& peer);

    // The resource-name form, for the transport registry: "LOOPBACK::<name>::INSTR|SOCKET",
    // keywords in any case.
    static std::optional<LoopbackAddress> Parse(std::string_view name);
    static std::string Format(const LoopbackAddress& address);
    // VI_ERROR_RSRC_NFOUND when no peer serves the name, as a refused connection.
    static ViStatus Open(const LoopbackAddress& address, uint32_t timeoutMs,
                         OpenedTransport& opened);

    IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline,
                  size_t& sent) override;
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                     size_t& received) override;
    void Interrupt() override;

  private:
    explicit LoopbackTransport(std::shared_ptr<Peer> peer) : peer_(std::move(peer)) {}

    const std::shared_ptr<Peer> peer_;
    std::string queue_;  // the peer's answers not yet read, from taken_ on
    size_t taken_ = 0;
    bool interrupted_ = false;
};

}  // namespace kestrava::visa
