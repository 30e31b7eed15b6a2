#include "tools/kestrava-scopesim/HislipServer.h"

#include <algorithm>
#include <vector>

#include "tools/kestrava-scopesim/MessageSplitter.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "tools/kestrava-scopesim/SocketIo.h"

namespace kestrava::scopesim {
namespace {

enum Type : uint8_t {
    kInitialize = 0,
    kInitializeResponse = 1,
    kFatalError = 2,
    kAsyncLock = 4,
    kAsyncLockResponse = 5,
    kData = 6,
    kDataEnd = 7,
    kAsyncRemoteLocalControl = 10,
    kAsyncRemoteLocalResponse = 11,
    kAsyncMaximumMessageSize = 15,
    kAsyncMaximumMessageSizeResponse = 16,
    kAsyncInitialize = 17,
    kAsyncInitializeResponse = 18,
    kAsyncDeviceClear = 19,
    kAsyncStatusQuery = 21,
    kAsyncStatusResponse = 22,
    kAsyncDeviceClearAcknowledge = 23,
    kAsyncLockInfo = 24,
    kAsyncLockInfoResponse = 25,
};
// FatalError codes.
constexpr uint8_t kPoorlyFormedHeader = 1, kNoInitialization = 2, kInvalidInitialization = 3,
                  kMessageTooLarge = 4;
constexpr uint32_t kVersion = 0x0100;
constexpr uint32_t kVendor = ('K' << 8) | 'S';
constexpr size_t kHeaderBytes = 16;

struct Header {
    uint8_t type = 0, control = 0;
    uint32_t parameter = 0;
    uint64_t length = 0;
};

uint64_t BigEndian(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
    return value;
}

std::string Message(uint8_t type, uint8_t control, uint32_t parameter,
                    std::string_view payload = {}) {
    std::string out{'H', 'S', static_cast<char>(type), static_cast<char>(control)};
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(parameter >> shift);
    for (int shift = 56; shift >= 0; shift -= 8)
        out += static_cast<char>(uint64_t{payload.size()} >> shift);
    out.append(payload);
    return out;
}

bool Fatal(int fd, uint8_t code) {
    std::string message = Message(kFatalError, code, 0);
    SendAll(fd, message.data(), message.size());
    return false;
}

// The next header; a FatalError goes out for one that is not a HiSLIP header.
bool ReadHeader(int fd, int wakeFd, Header& header) {
    uint8_t in[kHeaderBytes];
    if (!ReceiveExactly(fd, wakeFd, in, sizeof in)) return false;
    if (in[0] != 'H' || in[1] != 'S') return Fatal(fd, kPoorlyFormedHeader);
    header = {in[2], in[3], static_cast<uint32_t>(BigEndian(in + 4, 4)), BigEndian(in + 8, 8)};
    return true;
}

// A payload within its bound; a FatalError goes out for one beyond.
bool ReadPayload(int fd, int wakeFd, const Header& header, uint64_t bound, std::string& payload) {
    if (header.length > bound) return Fatal(fd, kMessageTooLarge);
    payload.resize(static_cast<size_t>(header.length));
    return ReceiveExactly(fd, wakeFd, payload.data(), payload.size());
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

void HislipServer::Serve(int fd, std::atomic<bool>& isSession) {
    const int wakeFd = sim_.wake_[0];
    Header header;
    std::string payload;
    if (!ReadHeader(fd, wakeFd, header)) return;
    if (header.type == kInitialize) {
        if (!ReadPayload(fd, wakeFd, header, kMaxControlPayload, payload)) return;
        if (Lower(payload) != "hislip0") {
            Fatal(fd, kInvalidInitialization);
            return;
        }
        uint16_t session;
        {
            std::lock_guard lock(mutex_);
            session = nextSession_++;
            if (nextSession_ == 0) nextSession_ = 1;
            clientMax_[session] = kMaxPayload;
        }
        std::string reply = Message(kInitializeResponse, 0, (kVersion << 16) | session);
        if (SendAll(fd, reply.data(), reply.size())) ServeSynchronous(fd, session);
        std::lock_guard lock(mutex_);
        clientMax_.erase(session);
    } else if (header.type == kAsyncInitialize && header.length == 0) {
        isSession = false;
        auto session = static_cast<uint16_t>(header.parameter);
        {
            std::lock_guard lock(mutex_);
            if (!clientMax_.count(session)) {
                Fatal(fd, kInvalidInitialization);
                return;
            }
        }
        std::string reply = Message(kAsyncInitializeResponse, 0, kVendor);
        if (SendAll(fd, reply.data(), reply.size())) ServeAsynchronous(fd, session);
    } else {
        Fatal(fd, kNoInitialization);
    }
}

uint64_t HislipServer::ClientMaxPayload(uint16_t session) {
    std::lock_guard lock(mutex_);
    auto it = clientMax_.find(session);
    return it == clientMax_.end() ? kMaxPayload : it->second;
}

// Runs one message and sends its answer in Data messages, the last one DataEND; false when
// the connection is to end.
bool HislipServer::Deliver(int fd, uint16_t session, uint32_t messageId,
                           const std::string& message) {
    ScopeModel::Response response = sim_.Run(message);
    if (response.notBefore && !sim_.WaitUntil(*response.notBefore)) return false;
    const std::string& reply = response.reply;
    if (reply.empty()) return true;
    const size_t cut = response.disconnectAfter.value_or(reply.size());
    const size_t chunk = static_cast<size_t>(std::max<uint64_t>(1, ClientMaxPayload(session)));
    for (size_t at = 0; at < reply.size(); at += chunk) {
        size_t size = std::min(chunk, reply.size() - at);
        bool last = at + size == reply.size();
        std::string out = Message(last ? kDataEnd : kData, 0, messageId,
                                  std::string_view(reply).substr(at, size));
        if (cut < at + size) {
            // Gone in the middle of the message: its header promised more than comes.
            SendAll(fd, out.data(), kHeaderBytes + (cut > at ? cut - at : 0));
            return false;
        }
        if (!SendAll(fd, out.data(), out.size())) return false;
    }
    return true;
}

void HislipServer::ServeSynchronous(int fd, uint16_t session) {
    const int wakeFd = sim_.wake_[0];
    uint32_t messageId = 0;
    MessageSplitter splitter(
        ScopeSimulator::kMaxMessageBytes,
        [&](const std::string& message) { return Deliver(fd, session, messageId, message); },
        [this] { sim_.DiscardOverlong(); });
    Header header;
    std::string payload;
    while (ReadHeader(fd, wakeFd, header)) {
        bool data = header.type == kData || header.type == kDataEnd;
        if (!ReadPayload(fd, wakeFd, header, data ? kMaxPayload : kMaxControlPayload, payload))
            return;
        if (!data) continue;  // a trigger or a notice: nothing to answer
        messageId = header.parameter;
        // DataEND ends the program message, line feed or not.
        if (header.type == kDataEnd && (payload.empty() || payload.back() != '\n')) payload += '\n';
        if (!splitter.Feed(payload.data(), payload.size())) return;
    }
}

void HislipServer::ServeAsynchronous(int fd, uint16_t session) {
    const int wakeFd = sim_.wake_[0];
    Header header;
    std::string payload;
    while (ReadHeader(fd, wakeFd, header)) {
        if (!ReadPayload(fd, wakeFd, header, kMaxControlPayload, payload)) return;
        std::string reply;
        switch (header.type) {
            case kAsyncMaximumMessageSize: {
                if (payload.size() != 8) {
                    Fatal(fd, kPoorlyFormedHeader);
                    return;
                }
                uint64_t size = BigEndian(reinterpret_cast<const uint8_t*>(payload.data()), 8);
                {
                    std::lock_guard lock(mutex_);
                    clientMax_[session] = std::clamp<uint64_t>(
                        size > kHeaderBytes ? size - kHeaderBytes : 1, 1, kMaxPayload);
                }
                std::string ours;
                for (int shift = 56; shift >= 0; shift -= 8)
                    ours += static_cast<char>((kMaxPayload + kHeaderBytes) >> shift);
                reply = Message(kAsyncMaximumMessageSizeResponse, 0, 0, ours);
                break;
            }
            case kAsyncLock:  // granted: the VISA library keeps its own locks
                reply = Message(kAsyncLockResponse, 1, 0);
                break;
            case kAsyncLockInfo:
                reply = Message(kAsyncLockInfoResponse, 0, 0);
                break;
            case kAsyncRemoteLocalControl:
                reply = Message(kAsyncRemoteLocalResponse, 0, 0);
                break;
            case kAsyncDeviceClear:
                reply = Message(kAsyncDeviceClearAcknowledge, 0, 0);
                break;
            case kAsyncStatusQuery:
                reply = Message(kAsyncStatusResponse, 0, 0);
                break;
            default:
                continue;
        }
        if (!SendAll(fd, reply.data(), reply.size())) return;
    }
}

}  // namespace kestrava::scopesim
