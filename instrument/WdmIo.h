// VISA I/O of the waveform data module on its session: whole-command writes, 256-byte
// reply reads, exact-length block reads, and the exclusive lock of a query group, which
// is released on every path out of the group. The module's own I/O halts at the first
// timeout, lost connection or lock timeout, so that nothing waits for the instrument twice.
// Not for use outside instrument/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "visa/visa.h"

namespace kestrava::wdm {

inline constexpr std::size_t kReplyBytes = 256;

class Io {
  public:
    // A guarded Io, the module's own, sends nothing once the module is halted (WdmGetHalt)
    // and halts it on a timeout, a lost connection or a lock timeout; an unguarded one only
    // does the I/O.
    explicit Io(ViSession session, bool guarded = true) : session_(session), guarded_(guarded) {}

    ViSession Session() const { return session_; }
    // One write of exactly the bytes of the command.
    ViStatus Write(std::string_view command) const;
    // One read of at most 256 bytes; the reply replaces text.
    ViStatus Read(std::string& text) const;
    ViStatus Query(std::string_view command, std::string& reply) const;
    ViStatus QueryInteger(std::string_view command, std::int64_t& value) const;
    ViStatus QueryDouble(std::string_view command, double& value) const;
    // Reads until exactly count bytes have come; a message that ends sooner fails.
    ViStatus ReadExactly(std::uint8_t* data, std::size_t count) const;
    // Reads until exactly count bytes have come, across message ends: an indefinite block's
    // binary data may hold the line feed that would end a message.
    ViStatus ReadThrough(std::uint8_t* data, std::size_t count) const;
    // The exclusive lock, waited for up to the timeout.
    ViStatus Lock(std::uint32_t timeoutMs) const;
    // Halts the module when the status of a call on the session is a timeout or a lost
    // connection; the status.
    ViStatus Noted(ViStatus status) const;

  private:
    ViStatus ReadBytes(std::uint8_t* data, std::size_t count, bool acrossEnds) const;
    // The status a halted module's I/O gives at once; VI_SUCCESS when it may go on.
    ViStatus Halted() const;

    ViSession session_;
    bool guarded_;
};

// The exclusive lock of one query group; locks nest, each released by its own unlock.
class LockGroup {
  public:
    LockGroup(const Io& io, std::uint32_t timeoutMs);
    ~LockGroup() { Release(); }
    LockGroup(const LockGroup&) = delete;
    LockGroup& operator=(const LockGroup&) = delete;

    bool Held() const { return held_; }
    ViStatus Status() const { return status_; }
    void Release();

  private:
    ViSession session_;
    ViStatus status_;
    bool held_;
};

}  // namespace kestrava::wdm
