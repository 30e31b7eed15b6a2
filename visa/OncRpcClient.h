// The calling side of ONC RPC over TCP (record marking, one call at a time): what the
// VXI-11 transport speaks to the portmapper and to the instrument. A call whose reply has
// not come by the deadline stays awaited, so a late reply is still taken in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "visa/StreamChannel.h"
#include "visa/Transport.h"

namespace kestrava::visa {

// Reads XDR items from a reply within its bounds; a read past the end sets failed.
class XdrReader {
  public:
    XdrReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t U32();
    // Variable-length opaque data of at most maxSize bytes (padded to four).
    std::vector<uint8_t> Opaque(size_t maxSize);
    bool Failed() const { return failed_; }
    size_t Position() const { return at_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool failed_ = false;
};

void PutXdrOpaque(std::vector<uint8_t>& out, const uint8_t* data, size_t size);

class OncRpcClient {
  public:
    OncRpcClient(std::unique_ptr<Transport> stream, uint32_t program, uint32_t version)
        : channel_(std::move(stream)), program_(program), version_(version) {}

    // Sends a call; its reply is then taken with Await. kTimeout with the call partly
    // sent still leaves it awaited (the rest goes out first in Await).
    IoStatus Start(uint32_t procedure, const std::vector<uint8_t>& arguments,
                   const Deadline& deadline);
    // The results of the awaited call, at most maxResults bytes. kError for a reply that
    // is malformed, oversized, for another call, or not a success.
    IoStatus Await(const Deadline& deadline, size_t maxResults, std::vector<uint8_t>& results);
    // Start and Await.
    IoStatus Call(uint32_t procedure, const std::vector<uint8_t>& arguments,
                  const Deadline& deadline, size_t maxResults, std::vector<uint8_t>& results);
    bool Awaiting() const { return awaiting_; }
    uint32_t AwaitedProcedure() const { return procedure_; }
    Transport& Stream() { return channel_.Stream(); }

  private:
    IoStatus TakeRecord(const Deadline& deadline, size_t maxSize, std::vector<uint8_t>& record);

    StreamChannel channel_;
    const uint32_t program_, version_;
    uint32_t xid_ = 0x4B560000;
    uint32_t procedure_ = 0;
    bool awaiting_ = false;
};

}  // namespace kestrava::visa
