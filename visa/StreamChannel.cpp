#include "visa/StreamChannel.h"

#include <algorithm>
#include <cstring>

namespace kestrava::visa {

IoStatus StreamChannel::SendFrame(std::vector<uint8_t> frame, const Deadline& deadline) {
    if (!owed_.empty()) {
        size_t sent = 0;
        IoStatus io = stream_->Send(owed_.data(), owed_.size(), deadline, sent);
        owed_.erase(owed_.begin(), owed_.begin() + static_cast<std::ptrdiff_t>(sent));
        if (io != IoStatus::kOk) {
            if (io == IoStatus::kTimeout) owed_.insert(owed_.end(), frame.begin(), frame.end());
            return io;
        }
    }
    size_t sent = 0;
    IoStatus io = stream_->Send(frame.data(), frame.size(), deadline, sent);
    if (io == IoStatus::kTimeout)
        owed_.assign(frame.begin() + static_cast<std::ptrdiff_t>(sent), frame.end());
    return io;
}

IoStatus StreamChannel::Need(size_t size, const Deadline& deadline) {
    while (in_.size() < size) {
        size_t have = in_.size();
        in_.resize(std::max(size, have + 4096));
        size_t got = 0;
        IoStatus io = stream_->Receive(in_.data() + have, in_.size() - have, deadline, got);
        in_.resize(have + got);
        if (io != IoStatus::kOk) return io;
    }
    return IoStatus::kOk;
}

void StreamChannel::Consume(size_t size) {
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(std::min(size, in_.size())));
}

IoStatus StreamChannel::ReceiveSome(uint8_t* buffer, size_t size, const Deadline& deadline,
                                    size_t& received) {
    received = 0;
    if (size == 0) return IoStatus::kOk;
    if (!in_.empty()) {
        received = std::min(size, in_.size());
        std::memcpy(buffer, in_.data(), received);
        Consume(received);
        return IoStatus::kOk;
    }
    return stream_->Receive(buffer, size, deadline, received);
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutU64(std::vector<uint8_t>& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value >> 32));
    PutU32(out, static_cast<uint32_t>(value));
}

uint32_t GetU32(const uint8_t* in) {
    return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | in[3];
}

uint64_t GetU64(const uint8_t* in) {
    return (uint64_t{GetU32(in)} << 32) | GetU32(in + 4);
}

}  // namespace kestrava::visa
