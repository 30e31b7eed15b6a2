// Finds where an instrument's response message ends in a raw byte stream. A message-based
// instrument marks the last byte of a response with END; a raw socket has no such signal,
// so the line feed that terminates a response stands for it — except inside a
// definite-length block (#<n><length><bytes>), whose bytes are data and may be 0x0A.
// A block is recognised only where a response data element starts (the start of the
// message, or after ',', ';' or a blank) and outside quoted strings, so a '#' inside a
// word of free text does not swallow the line feed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrava::visa {

class MessageEndTracker {
  public:
    // Consumes bytes from data up to and including the first byte that ends a response
    // message; returns how many were consumed and sets ended when the last one was END.
    size_t Consume(const uint8_t* data, size_t size, bool& ended);
    // Back to the start of a message (after a device clear or a lost connection).
    void Reset();

  private:
    enum class State { kText, kString, kHash, kLength, kBlock };
    State state_ = State::kText;
    bool elementStart_ = true;
    int digitsLeft_ = 0;
    uint64_t length_ = 0;
};

}  // namespace kestrava::visa
