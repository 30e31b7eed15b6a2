#include "visa/OncRpcClient.h"

#include <algorithm>

namespace kestrava::visa {
namespace {

constexpr uint32_t kLastFragment = 0x80000000u;
constexpr uint32_t kCall = 0, kReply = 1;
constexpr uint32_t kRpcVersion = 2;
constexpr uint32_t kMsgAccepted = 0, kSuccess = 0;
constexpr size_t kMaxAuthBytes = 400;
constexpr size_t kReplyHeaderBytes = 24 + kMaxAuthBytes;

}  // namespace

uint32_t XdrReader::U32() {
    if (failed_ || size_ - at_ < 4) {
        failed_ = true;
        return 0;
    }
    uint32_t value = GetU32(data_ + at_);
    at_ += 4;
    return value;
}

std::vector<uint8_t> XdrReader::Opaque(size_t maxSize) {
    uint32_t size = U32();
    size_t padded = (size_t{size} + 3) & ~size_t{3};
    if (failed_ || size > maxSize || size_ - at_ < padded) {
        failed_ = true;
        return {};
    }
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + size);
    at_ += padded;
    return bytes;
}

void PutXdrOpaque(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    PutU32(out, static_cast<uint32_t>(size));
    out.insert(out.end(), data, data + size);
    out.resize(out.size() + ((4 - size % 4) % 4), 0);
}

IoStatus OncRpcClient::Start(uint32_t procedure, const std::vector<uint8_t>& arguments,
                             const Deadline& deadline) {
    std::vector<uint8_t> record;
    record.reserve(44 + arguments.size());
    PutU32(record, kLastFragment | static_cast<uint32_t>(40 + arguments.size()));
    for (uint32_t field :
         {++xid_, kCall, kRpcVersion, program_, version_, procedure, 0u, 0u, 0u, 0u})
        PutU32(record, field);
    record.insert(record.end(), arguments.begin(), arguments.end());
    procedure_ = procedure;
    IoStatus io = channel_.SendFrame(std::move(record), deadline);
    awaiting_ = io == IoStatus::kOk || io == IoStatus::kTimeout;
    return io;
}

// One whole record (its fragments joined) of at most maxSize bytes; what has arrived of
// a record not yet whole stays buffered for the next attempt.
IoStatus OncRpcClient::TakeRecord(const Deadline& deadline, size_t maxSize,
                                  std::vector<uint8_t>& record) {
    size_t at = 0, total = 0;
    for (;;) {
        IoStatus io = channel_.Need(at + 4, deadline);
        if (io != IoStatus::kOk) return io;
        uint32_t mark = GetU32(channel_.Buffered() + at);
        size_t length = mark & ~kLastFragment;
        if (length > maxSize - total) return IoStatus::kError;
        io = channel_.Need(at + 4 + length, deadline);
        if (io != IoStatus::kOk) return io;
        total += length;
        at += 4 + length;
        if (mark & kLastFragment) break;
    }
    record.clear();
    record.reserve(total);
    for (size_t from = 0; from < at;) {
        size_t length = GetU32(channel_.Buffered() + from) & ~kLastFragment;
        const uint8_t* data = channel_.Buffered() + from + 4;
        record.insert(record.end(), data, data + length);
        from += 4 + length;
    }
    channel_.Consume(at);
    return IoStatus::kOk;
}

IoStatus OncRpcClient::Await(const Deadline& deadline, size_t maxResults,
                             std::vector<uint8_t>& results) {
    if (!awaiting_) return IoStatus::kError;
    if (channel_.Owing()) {
        IoStatus io = channel_.SendFrame({}, deadline);
        if (io != IoStatus::kOk) {
            if (io != IoStatus::kTimeout) awaiting_ = false;
            return io;
        }
    }
    std::vector<uint8_t> record;
    IoStatus io = TakeRecord(deadline, kReplyHeaderBytes + maxResults, record);
    if (io == IoStatus::kTimeout) return io;
    awaiting_ = false;
    if (io != IoStatus::kOk) return io;
    XdrReader reader(record.data(), record.size());
    uint32_t xid = reader.U32(), type = reader.U32(), status = reader.U32();
    if (reader.Failed() || xid != xid_ || type != kReply || status != kMsgAccepted)
        return IoStatus::kError;
    reader.U32();  // the verifier's flavour
    reader.Opaque(kMaxAuthBytes);
    if (reader.U32() != kSuccess || reader.Failed()) return IoStatus::kError;
    results.assign(record.begin() + static_cast<std::ptrdiff_t>(reader.Position()), record.end());
    return results.size() <= maxResults ? IoStatus::kOk : IoStatus::kError;
}

IoStatus OncRpcClient::Call(uint32_t procedure, const std::vector<uint8_t>& arguments,
                            const Deadline& deadline, size_t maxResults,
                            std::vector<uint8_t>& results) {
    IoStatus io = Start(procedure, arguments, deadline);
    if (io != IoStatus::kOk && !awaiting_) return io;
    return Await(deadline, maxResults, results);
}

}  // namespace kestrava::visa
