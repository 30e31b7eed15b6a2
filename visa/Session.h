// One open instrument session: VISA read/write semantics over a transport, the session's
// attributes and its exclusive lock.
//
// A resource opened by an "...::INSTR" name behaves as a message-based instrument
// (VI_ATTR_IO_PROT = VI_PROT_4882_STRS): the line feed that ends a response stands for
// END, so a read ends there with VI_SUCCESS, block data excepted; and a write ends with a
// line feed when VI_ATTR_SEND_END_EN is set and the bytes given do not already end so.
// A "...::SOCKET" resource (VI_PROT_NORMAL) moves exactly the bytes given and ends a read
// only at the count, the termination character when enabled, or the timeout.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "visa/MessageEndTracker.h"
#include "visa/ResourceLock.h"
#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

class Session {
  public:
    // name: the resource name given to viOpen; lockKey: names the resource to ResourceLock.
    Session(ViSession handle, std::string name, std::string lockKey,
            std::unique_ptr<Transport> transport);

    ViStatus Read(uint8_t* buffer, ViUInt32 count, ViUInt32* returned);
    ViStatus Write(const uint8_t* data, ViUInt32 count, ViUInt32* returned);
    ViStatus Clear();
    ViStatus SetAttribute(ViAttr attribute, ViAttrState value);
    ViStatus GetAttribute(ViAttr attribute, void* value);
    ViStatus Lock(ViAccessMode type, ViUInt32 timeoutMs, ViChar accessKey[]);
    ViStatus Unlock();
    // Wakes I/O blocked in another thread; used by viClose.
    void Interrupt();

    static constexpr ViUInt32 kDefaultTimeoutMs = 2000;
    static constexpr size_t kReceiveBufferBytes = 64 * 1024;

  private:
    ViStatus ReadLocked(uint8_t* buffer, ViUInt32 count, size_t& done);
    ViStatus Fill(const Deadline& deadline);
    bool Buffered() const { return begin_ < end_; }

    const ViSession handle_;
    const std::string name_;
    const std::string lockKey_;
    const bool messageBased_;

    std::mutex ioMutex_;
    std::unique_ptr<Transport> transport_;
    std::vector<uint8_t> receive_;
    size_t begin_ = 0, end_ = 0;
    MessageEndTracker tracker_;
    bool lost_ = false;

    std::atomic<ViUInt32> timeoutMs_{kDefaultTimeoutMs};
    std::atomic<ViUInt8> termChar_{'\n'};
    std::atomic<bool> termCharEnabled_{false};
    std::atomic<bool> sendEnd_{true};
    std::atomic<ViUInt16> ioProtocol_;
    std::atomic<bool> noDelay_{true};
    std::atomic<bool> keepAlive_{false};

    std::mutex lockMutex_;
    ResourceLock lock_;
};

}  // namespace kestrava::visa
