#include "visa/LoopbackPeer.h"

namespace kestrava::visa {

LoopbackPeer::LoopbackPeer(std::string name, Handler handler)
    : name_(std::move(name)), peer_(std::make_shared<LoopbackTransport::Peer>()) {
    peer_->handler = std::move(handler);
    LoopbackTransport::Serve(name_, peer_);
}

LoopbackPeer::~LoopbackPeer() {
    Hangup();
    // Connections may outlive this object; its handler, and what it refers to, may not.
    std::lock_guard lock(peer_->handlerMutex);
    peer_->handler = nullptr;
}

void LoopbackPeer::Hangup() {
    LoopbackTransport::Hangup(name_, peer_);
}

}  // namespace kestrava::visa
