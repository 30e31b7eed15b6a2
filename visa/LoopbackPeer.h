// A scripted instrument for tests, served in this process for as long as the object
// lives: viOpen("LOOPBACK::<name>::INSTR") connects to it, and every viWrite on such a
// session hands the handler the bytes written and queues the bytes it returns for viRead.
// With kvSetAlias the program's own resource name can stand for it.
#pragma once

#include <memory>
#include <string>

#include "visa/LoopbackTransport.h"

namespace kestrava::visa {

class LoopbackPeer {
  public:
    using Handler = LoopbackTransport::Handler;

    // A later peer of the same name takes the opens that follow from this one.
    LoopbackPeer(std::string name, Handler handler);
    // Hangs up, and waits for a handler call under way.
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    // The instrument goes away: sessions read what is queued and then lose the connection;
    // opens find nothing. A handler may call it.
    void Hangup();

  private:
    const std::string name_;
    const std::shared_ptr<LoopbackTransport::Peer> peer_;
};

}  // namespace kestrava::visa
