// The simulator's HiSLIP side. A connection's first message says what it is: Initialize
// opens a session's synchronous channel (program messages in Data / DataEND, answers back
// the same way), AsyncInitialize its asynchronous one (message sizes, locks, clears and
// status, answered as a sound instrument would). Every length a client sends is checked
// against the bounds below before anything is read into it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace kestrava::scopesim {

class ScopeSimulator;

class HislipServer {
  public:
    explicit HislipServer(ScopeSimulator& sim) : sim_(sim) {}
    // isSession turns false when the connection is an asynchronous channel.
    void Serve(int fd, std::atomic<bool>& isSession);

    // The largest payload taken in one message; told to clients with the header counted.
    static constexpr uint64_t kMaxPayload = 1 << 20;
    // Other messages than data are smaller still.
    static constexpr uint64_t kMaxControlPayload = 4096;

  private:
    void ServeSynchronous(int fd, uint16_t session);
    void ServeAsynchronous(int fd, uint16_t session);
    bool Deliver(int fd, uint16_t session, uint32_t messageId, const std::string& message);
    uint64_t ClientMaxPayload(uint16_t session);

    ScopeSimulator& sim_;
    std::mutex mutex_;  // guards the two below
    uint16_t nextSession_ = 1;
    std::map<uint16_t, uint64_t> clientMax_;  // the largest message each client takes
};

}  // namespace kestrava::scopesim
