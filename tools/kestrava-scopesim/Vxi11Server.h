// The simulator's VXI-11 side: the core channel (create_link, device_write, device_read,
// destroy_link and the calls a client may make beside them, over ONC RPC records) and a
// portmapper that tells where it listens. A device_read returns what the instrument has
// for the link, up to the count asked, or waits for it until the client's I/O timeout.
// Every length a client sends is checked against the bounds below before it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrava::scopesim {

class ScopeSimulator;

class Vxi11Server {
  public:
    explicit Vxi11Server(ScopeSimulator& sim) : sim_(sim) {}
    void ServeCore(int fd);
    void ServePortmapper(int fd);
    // Registers the core channel's port with the portmapper on port 111 of this machine,
    // or withdraws it; false with error set when no portmapper takes it.
    static bool Register(uint16_t corePort, bool set, std::string& error);

    // The largest write a link takes (told to clients as maxRecvSize), and read it gives.
    static constexpr uint32_t kMaxTransfer = 1 << 20;
    static constexpr size_t kMaxRecord = kMaxTransfer + 1024;

  private:
    struct Link;
    void Pump(Link& link);
    ScopeSimulator& sim_;
};

}  // namespace kestrava::scopesim
