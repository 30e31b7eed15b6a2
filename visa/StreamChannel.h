// A TCP connection that carries framed messages (ONC RPC records, HiSLIP messages) under
// the same deadlines as a raw socket. What a timeout cuts short is kept, not lost: bytes
// received ahead of a whole frame wait in a buffer for the next attempt, and the unsent
// rest of a frame goes out before the next one, so the framing never breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "visa/Transport.h"

namespace kestrava::visa {

class StreamChannel {
  public:
    explicit StreamChannel(std::unique_ptr<Transport> stream) : stream_(std::move(stream)) {}

    // Sends what is owed of an earlier frame, then frame. On a timeout the rest of frame
    // is owed; kOk once all of it went out.
    IoStatus SendFrame(std::vector<uint8_t> frame, const Deadline& deadline);
    bool Owing() const { return !owed_.empty(); }
    // Receives until at least size bytes are buffered; size is the caller's bound.
    IoStatus Need(size_t size, const Deadline& deadline);
    const uint8_t* Buffered() const { return in_.data(); }
    size_t BufferedSize() const { return in_.size(); }
    void Consume(size_t size);
    // Up to size bytes: the buffered ones first, else what one receive gives.
    IoStatus ReceiveSome(uint8_t* buffer, size_t size, const Deadline& deadline, size_t& received);

    Transport& Stream() { return *stream_; }

  private:
    std::unique_ptr<Transport> stream_;
    std::vector<uint8_t> owed_;
    std::vector<uint8_t> in_;
};

// Big-endian fields as both protocols write them.
void PutU32(std::vector<uint8_t>& out, uint32_t value);
void PutU64(std::vector<uint8_t>& out, uint64_t value);
uint32_t GetU32(const uint8_t* in);
uint64_t GetU64(const uint8_t* in);

}  // namespace kestrava::visa
