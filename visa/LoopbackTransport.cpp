#include "visa/LoopbackTransport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "visa/ResourceName.h"

namespace kestrava::visa {
namespace {

constexpr std::string_view kKeyword = "LOOPBACK::";

std::mutex gMutex;
std::map<std::string, std::shared_ptr<LoopbackTransport::Peer>> gPeers;

bool ValidPeerName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

void LoopbackTransport::Serve(const std::string& name, std::shared_ptr<Peer> peer) {
    std::lock_guard lock(gMutex);
    gPeers[name] = std::move(peer);
}

void LoopbackTransport::Hangup(const std::string& name, const std::shared_ptr<Peer>& peer) {
    {
        std::lock_guard lock(gMutex);
        if (auto it = gPeers.find(name); it != gPeers.end() && it->second == peer) gPeers.erase(it);
    }
    std::lock_guard lock(peer->mutex);
    peer->hungUp = true;
    peer->changed.notify_all();
}

std::optional<LoopbackAddress> LoopbackTransport::Parse(std::string_view name) {
    if (name.size() <= kKeyword.size() || UpperAscii(name.substr(0, kKeyword.size())) != kKeyword)
        return std::nullopt;
    std::string_view rest = name.substr(kKeyword.size());
    size_t sep = rest.find("::");
    if (sep == std::string_view::npos) return std::nullopt;
    LoopbackAddress address;
    address.name = std::string(rest.substr(0, sep));
    std::string kind = UpperAscii(rest.substr(sep + 2));
    if (!ValidPeerName(address.name) || (kind != "INSTR" && kind != "SOCKET")) return std::nullopt;
    address.instr = kind == "INSTR";
    return address;
}

std::string LoopbackTransport::Format(const LoopbackAddress& address) {
    return std::string(kKeyword) + address.name + (address.instr ? "::INSTR" : "::SOCKET");
}

ViStatus LoopbackTransport::Open(const LoopbackAddress& address, uint32_t,
                                 OpenedTransport& opened) {
    std::shared_ptr<Peer> peer;
    {
        std::lock_guard lock(gMutex);
        auto it = gPeers.find(address.name);
        if (it == gPeers.end()) return VI_ERROR_RSRC_NFOUND;
        peer = it->second;
    }
    opened.transport.reset(new LoopbackTransport(std::move(peer)));
    // '/' is in no host name, so no TCP resource shares the key.
    opened.lockKey = "loopback/" + address.name;
    return VI_SUCCESS;
}

IoStatus LoopbackTransport::Send(const uint8_t* data, size_t size, const Deadline&, size_t& sent) {
    sent = 0;
    {
        std::lock_guard lock(peer_->mutex);
        if (interrupted_ || peer_->hungUp) return IoStatus::kClosed;
    }
    std::string reply;
    {
        // The handler may hang its peer up, so it runs outside the queue's mutex.
        std::lock_guard lock(peer_->handlerMutex);
        if (!peer_->handler) return IoStatus::kClosed;
        reply = peer_->handler(std::string_view(reinterpret_cast<const char*>(data), size));
    }
    sent = size;
    std::lock_guard lock(peer_->mutex);
    queue_.erase(0, taken_);
    taken_ = 0;
    queue_ += reply;
    peer_->changed.notify_all();
    return IoStatus::kOk;
}

IoStatus LoopbackTransport::Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                                    size_t& received) {
    received = 0;
    std::unique_lock lock(peer_->mutex);
    for (;;) {
        if (interrupted_) return IoStatus::kClosed;
        if (taken_ < queue_.size()) {
            received = std::min(size, queue_.size() - taken_);
            std::memcpy(buffer, queue_.data() + taken_, received);
            taken_ += received;
            return IoStatus::kOk;
        }
        if (peer_->hungUp) return IoStatus::kClosed;
        int waitMs = deadline.PollMs();
        if (waitMs == 0) return IoStatus::kTimeout;
        if (waitMs < 0) {
            peer_->changed.wait(lock);
        } else {
            peer_->changed.wait_for(lock, std::chrono::milliseconds(waitMs));
        }
    }
}

void LoopbackTransport::Interrupt() {
    std::lock_guard lock(peer_->mutex);
    interrupted_ = true;
    peer_->changed.notify_all();
}

}  // namespace kestrava::visa
