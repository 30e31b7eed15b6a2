#include "visa/Session.h"

#include <algorithm>
#include <cstring>

#include "visa/AttributeValue.h"
#include "visa/ResourceName.h"

namespace kestrava::visa {
namespace {

constexpr ViUInt32 kImplementationVersion = 0x00100000;  // 1.0.0
constexpr auto kClearQuietMs = 10u;
constexpr auto kClearLimitMs = 2000u;

ViStatus StatusOf(IoStatus io) {
    switch (io) {
        case IoStatus::kOk:
            return VI_SUCCESS;
        case IoStatus::kTimeout:
            return VI_ERROR_TMO;
        case IoStatus::kClosed:
            return VI_ERROR_CONN_LOST;
        case IoStatus::kError:
            return VI_ERROR_IO;
    }
    return VI_ERROR_IO;
}

}  // namespace

Session::Session(ViSession handle, std::string name, std::string lockKey,
                 std::unique_ptr<Transport> transport)
    : handle_(handle),
      name_(std::move(name)),
      lockKey_(std::move(lockKey)),
      messageBased_(IsInstrResource(name_)),
      transport_(std::move(transport)),
      receive_(kReceiveBufferBytes),
      ioProtocol_(messageBased_ ? VI_PROT_4882_STRS : VI_PROT_NORMAL),
      lock_(lockKey_, handle) {}

ViStatus Session::Fill(const Deadline& deadline) {
    if (lost_) return VI_ERROR_CONN_LOST;
    if (begin_ == end_) begin_ = end_ = 0;
    if (end_ == receive_.size() && begin_ > 0) {
        std::memmove(receive_.data(), receive_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    size_t got = 0;
    IoStatus io =
        transport_->Receive(receive_.data() + end_, receive_.size() - end_, deadline, got);
    if (io == IoStatus::kOk) {
        end_ += got;
        return VI_SUCCESS;
    }
    if (io == IoStatus::kClosed || io == IoStatus::kError) {
        lost_ = true;
        tracker_.Reset();
    }
    return StatusOf(io);
}

ViStatus Session::ReadLocked(uint8_t* buffer, ViUInt32 count, size_t& done) {
    Deadline deadline = Deadline::AfterMs(timeoutMs_);
    const bool useTermChar = termCharEnabled_;
    const uint8_t termChar = termChar_;
    const bool trackEnd = ioProtocol_ == VI_PROT_4882_STRS;
    for (;;) {
        if (Buffered()) {
            const uint8_t* p = receive_.data() + begin_;
            size_t limit = std::min<size_t>(end_ - begin_, count - done);
            if (useTermChar) {
                if (const void* t = std::memchr(p, termChar, limit))
                    limit = static_cast<size_t>(static_cast<const uint8_t*>(t) - p) + 1;
            }
            bool ended = false;
            if (trackEnd) limit = tracker_.Consume(p, limit, ended);
            std::memcpy(buffer + done, p, limit);
            done += limit;
            begin_ += limit;
            if (useTermChar && limit > 0 && p[limit - 1] == termChar) return VI_SUCCESS_TERM_CHAR;
            if (ended) return VI_SUCCESS;
            if (done == count) return VI_SUCCESS_MAX_CNT;
        }
        ViStatus filled = Fill(deadline);
        if (filled != VI_SUCCESS) return filled;
    }
}

ViStatus Session::Read(uint8_t* buffer, ViUInt32 count, ViUInt32* returned) {
    std::lock_guard guard(ioMutex_);
    size_t done = 0;
    ViStatus status = VI_SUCCESS_MAX_CNT;
    if (ResourceLock::HeldByOther(lockKey_, handle_)) {
        status = VI_ERROR_RSRC_LOCKED;
    } else if (count > 0) {
        status = ReadLocked(buffer, count, done);
    }
    if (returned) *returned = static_cast<ViUInt32>(done);
    return status;
}

ViStatus Session::Write(const uint8_t* data, ViUInt32 count, ViUInt32* returned) {
    std::lock_guard guard(ioMutex_);
    if (returned) *returned = 0;
    if (ResourceLock::HeldByOther(lockKey_, handle_)) return VI_ERROR_RSRC_LOCKED;
    if (lost_) return VI_ERROR_CONN_LOST;
    if (count == 0) return VI_SUCCESS;
    Deadline deadline = Deadline::AfterMs(timeoutMs_);
    const bool addEnd = ioProtocol_ == VI_PROT_4882_STRS && sendEnd_ && data[count - 1] != '\n';
    size_t sent = 0;
    IoStatus io = IoStatus::kOk;
    if (addEnd) {
        std::vector<uint8_t> message(data, data + count);
        message.push_back('\n');
        io = transport_->Send(message.data(), message.size(), deadline, sent);
    } else {
        io = transport_->Send(data, count, deadline, sent);
    }
    if (returned) *returned = static_cast<ViUInt32>(std::min<size_t>(sent, count));
    if (io == IoStatus::kClosed || io == IoStatus::kError) lost_ = true;
    return StatusOf(io);
}

ViStatus Session::Clear() {
    std::lock_guard guard(ioMutex_);
    if (ResourceLock::HeldByOther(lockKey_, handle_)) return VI_ERROR_RSRC_LOCKED;
    begin_ = end_ = 0;
    tracker_.Reset();
    if (lost_) return VI_ERROR_CONN_LOST;
    // Throw away whatever the instrument still has on its way: read until the line has
    // been quiet for a moment, within an overall bound.
    Deadline limit = Deadline::AfterMs(std::min<ViUInt32>(timeoutMs_, kClearLimitMs));
    while (!limit.Expired()) {
        ViStatus status = Fill(Deadline::AfterMs(kClearQuietMs));
        begin_ = end_ = 0;
        if (status == VI_ERROR_TMO) break;
        if (status != VI_SUCCESS) return status;
    }
    tracker_.Reset();
    return VI_SUCCESS;
}

ViStatus Session::SetAttribute(ViAttr attribute, ViAttrState value) {
    auto asBool = [&](std::atomic<bool>& field) -> ViStatus {
        if (value != VI_TRUE && value != VI_FALSE) return VI_ERROR_NSUP_ATTR_STATE;
        field = value == VI_TRUE;
        return VI_SUCCESS;
    };
    switch (attribute) {
        case VI_ATTR_TMO_VALUE:
            if (value > 0xFFFFFFFFull) return VI_ERROR_NSUP_ATTR_STATE;
            timeoutMs_ = static_cast<ViUInt32>(value);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR:
            if (value > 0xFF) return VI_ERROR_NSUP_ATTR_STATE;
            termChar_ = static_cast<ViUInt8>(value);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR_EN:
            return asBool(termCharEnabled_);
        case VI_ATTR_SEND_END_EN:
            return asBool(sendEnd_);
        case VI_ATTR_IO_PROT:
            if (value != VI_PROT_NORMAL && value != VI_PROT_4882_STRS)
                return VI_ERROR_NSUP_ATTR_STATE;
            ioProtocol_ = static_cast<ViUInt16>(value);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_NODELAY: {
            ViStatus status = asBool(noDelay_);
            if (status == VI_SUCCESS) transport_->SetNoDelay(noDelay_);
            return status;
        }
        case VI_ATTR_TCPIP_KEEPALIVE: {
            ViStatus status = asBool(keepAlive_);
            if (status == VI_SUCCESS) transport_->SetKeepAlive(keepAlive_);
            return status;
        }
        case VI_ATTR_RSRC_CLASS:
        case VI_ATTR_RSRC_NAME:
        case VI_ATTR_RSRC_IMPL_VERSION:
        case VI_ATTR_RSRC_LOCK_STATE:
        case VI_ATTR_RSRC_MANF_NAME:
        case VI_ATTR_INTF_TYPE:
        case VI_ATTR_INTF_NUM:
        case VI_ATTR_TCPIP_ADDR:
        case VI_ATTR_TCPIP_HOSTNAME:
        case VI_ATTR_TCPIP_PORT:
        case VI_ATTR_TCPIP_DEVICE_NAME:
            return VI_ERROR_ATTR_READONLY;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus Session::GetAttribute(ViAttr attribute, void* value) {
    if (!value) return VI_ERROR_USER_BUF;
    switch (attribute) {
        case VI_ATTR_TMO_VALUE:
            return PutAttribute<ViUInt32>(timeoutMs_, value);
        case VI_ATTR_TERMCHAR:
            return PutAttribute<ViUInt8>(termChar_, value);
        case VI_ATTR_TERMCHAR_EN:
            return PutAttribute<ViBoolean>(termCharEnabled_ ? VI_TRUE : VI_FALSE, value);
        case VI_ATTR_SEND_END_EN:
            return PutAttribute<ViBoolean>(sendEnd_ ? VI_TRUE : VI_FALSE, value);
        case VI_ATTR_IO_PROT:
            return PutAttribute<ViUInt16>(ioProtocol_, value);
        case VI_ATTR_TCPIP_NODELAY:
            return PutAttribute<ViBoolean>(noDelay_ ? VI_TRUE : VI_FALSE, value);
        case VI_ATTR_TCPIP_KEEPALIVE:
            return PutAttribute<ViBoolean>(keepAlive_ ? VI_TRUE : VI_FALSE, value);
        case VI_ATTR_RSRC_CLASS:
            return PutAttributeText(messageBased_ ? "INSTR" : "SOCKET", value);
        case VI_ATTR_RSRC_NAME:
            return PutAttributeText(name_, value);
        case VI_ATTR_RSRC_IMPL_VERSION:
            return PutAttribute<ViUInt32>(kImplementationVersion, value);
        case VI_ATTR_RSRC_MANF_NAME:
            return PutAttributeText("Kestrava", value);
        case VI_ATTR_RSRC_LOCK_STATE:
            return PutAttribute<ViAccessMode>(
                ResourceLock::HeldByAny(lockKey_) ? VI_EXCLUSIVE_LOCK : VI_NO_LOCK, value);
        default:
            return transport_->GetAttribute(attribute, value);
    }
}

ViStatus Session::Lock(ViAccessMode type, ViUInt32 timeoutMs, ViChar accessKey[]) {
    if (type != VI_EXCLUSIVE_LOCK) return VI_ERROR_INV_LOCK_TYPE;
    if (accessKey) accessKey[0] = '\0';
    std::lock_guard guard(lockMutex_);
    return lock_.Acquire(timeoutMs);
}

ViStatus Session::Unlock() {
    std::lock_guard guard(lockMutex_);
    return lock_.Release();
}

void Session::Interrupt() {
    transport_->Interrupt();
}

}  // namespace kestrava::visa
