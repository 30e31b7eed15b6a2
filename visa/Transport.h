// The one interface every connection to an instrument goes through. A session keeps the
// VISA semantics (termination, END, counts, locks); a transport only moves bytes within
// a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "visa/visa.h"

namespace kestrava::visa {

// A point in time after which an operation gives up; "never" for VI_TMO_INFINITE.
class Deadline {
  public:
    using Clock = std::chrono::steady_clock;
    static Deadline AfterMs(uint32_t timeoutMs);  // 0xFFFFFFFF means never
    static Deadline Never() { return Deadline(); }
    bool Expired() const { return !never_ && Clock::now() >= at_; }
    // Milliseconds left for poll(): -1 for never, 0 when expired, rounded up otherwise.
    int PollMs() const;

  private:
    Deadline() = default;
    bool never_ = true;
    Clock::time_point at_{};
};

enum class IoStatus {
    kOk,       // some bytes moved
    kTimeout,  // the deadline passed first
    kClosed,   // the peer closed the connection, or it was reset
    kError,    // any other failure of the connection
};

class Transport {
  public:
    virtual ~Transport() = default;
    // Sends all size bytes unless the deadline passes or the connection fails; sent
    // reports how many went out.
    virtual IoStatus Send(const uint8_t* data, size_t size, const Deadline& deadline,
                          size_t& sent) = 0;
    // Waits for at least one byte and receives up to size bytes.
    virtual IoStatus Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                             size_t& received) = 0;
    // Wakes any Send or Receive blocked in another thread; the transport is closed after.
    virtual void Interrupt() = 0;
    virtual void SetNoDelay(bool) {}
    virtual void SetKeepAlive(bool) {}
    // The read-only attributes of the interface underneath (VI_ATTR_INTF_*, VI_ATTR_TCPIP_*);
    // a session answers the others itself.
    virtual ViStatus GetAttribute(ViAttr, void*) const { return VI_ERROR_NSUP_ATTR; }
};

// What opening a resource gives a session: the connection, and the key that names the
// resource to ResourceLock (every name of one resource must give the same key).
struct OpenedTransport {
    std::unique_ptr<Transport> transport;
    std::string lockKey;
};

}  // namespace kestrava::visa
