#include "visa/HislipTransport.h"

#include <algorithm>

#include "visa/AttributeValue.h"
#include "visa/TcpTransport.h"

namespace kestrava::visa {
namespace {

enum MessageType : uint8_t {
    kInitialize = 0,
    kInitializeResponse = 1,
    kFatalError = 2,
    kData = 6,
    kDataEnd = 7,
    kAsyncMaximumMessageSize = 15,
    kAsyncMaximumMessageSizeResponse = 16,
    kAsyncInitialize = 17,
    kAsyncInitializeResponse = 18,
};

constexpr size_t kHeaderBytes = 16;
constexpr uint32_t kProtocolVersion = 0x0100;  // 1.0
constexpr uint32_t kVendor = ('K' << 8) | 'V';
constexpr uint32_t kConnectTimeoutMs = 5000;
// Messages other than data (errors, notices) are read whole, so they are bounded tighter.
constexpr uint64_t kMaxControlPayload = 64 * 1024;

struct Header {
    uint8_t type = 0;
    uint8_t control = 0;
    uint32_t parameter = 0;
    uint64_t length = 0;
};

std::vector<uint8_t> Message(uint8_t type, uint8_t control, uint32_t parameter,
                             const uint8_t* payload = nullptr, size_t size = 0) {
    std::vector<uint8_t> out{'H', 'S', type, control};
    out.reserve(kHeaderBytes + size);
    PutU32(out, parameter);
    PutU64(out, size);
    if (size) out.insert(out.end(), payload, payload + size);
    return out;
}

// The next header on the channel; false when it is not one (the stream is then unusable).
IoStatus ReadHeader(StreamChannel& channel, const Deadline& deadline, Header& header) {
    IoStatus io = channel.Need(kHeaderBytes, deadline);
    if (io != IoStatus::kOk) return io;
    const uint8_t* in = channel.Buffered();
    if (in[0] != 'H' || in[1] != 'S') return IoStatus::kError;
    header = {in[2], in[3], GetU32(in + 4), GetU64(in + 8)};
    channel.Consume(kHeaderBytes);
    return IoStatus::kOk;
}

// A whole reply message of the expected type during the opening exchange.
bool Expect(StreamChannel& channel, const Deadline& deadline, uint8_t type, Header& header,
            std::vector<uint8_t>& payload) {
    if (ReadHeader(channel, deadline, header) != IoStatus::kOk) return false;
    if (header.length > kMaxControlPayload) return false;
    if (channel.Need(header.length, deadline) != IoStatus::kOk) return false;
    payload.assign(channel.Buffered(), channel.Buffered() + header.length);
    channel.Consume(header.length);
    return header.type == type;
}

std::unique_ptr<StreamChannel> Connect(const LanInstrAddress& address, uint32_t timeoutMs,
                                       std::string* lockKey) {
    OpenedTransport opened;
    if (TcpTransport::Open({address.board, address.host, address.port}, timeoutMs, opened) !=
        VI_SUCCESS)
        return nullptr;
    if (lockKey) *lockKey = opened.lockKey;
    return std::make_unique<StreamChannel>(std::move(opened.transport));
}

}  // namespace

ViStatus HislipTransport::Open(const LanInstrAddress& address, uint32_t timeoutMs,
                               OpenedTransport& opened) {
    std::string lockKey;
    auto sync = Connect(address, timeoutMs, &lockKey);
    if (!sync) return VI_ERROR_RSRC_NFOUND;
    Deadline deadline = Deadline::AfterMs(std::max(timeoutMs, kConnectTimeoutMs));
    const auto* name = reinterpret_cast<const uint8_t*>(address.device.data());
    Header header;
    std::vector<uint8_t> payload;
    if (sync->SendFrame(Message(kInitialize, 0, (kProtocolVersion << 16) | kVendor, name,
                                address.device.size()),
                        deadline) != IoStatus::kOk ||
        !Expect(*sync, deadline, kInitializeResponse, header, payload))
        return VI_ERROR_RSRC_NFOUND;
    const uint32_t session = header.parameter & 0xFFFF;

    auto async = Connect(address, timeoutMs, nullptr);
    if (!async ||
        async->SendFrame(Message(kAsyncInitialize, 0, session), deadline) != IoStatus::kOk ||
        !Expect(*async, deadline, kAsyncInitializeResponse, header, payload))
        return VI_ERROR_RSRC_NFOUND;

    std::vector<uint8_t> size;
    PutU64(size, kMaxMessage);
    if (async->SendFrame(Message(kAsyncMaximumMessageSize, 0, 0, size.data(), size.size()),
                         deadline) != IoStatus::kOk ||
        !Expect(*async, deadline, kAsyncMaximumMessageSizeResponse, header, payload) ||
        payload.size() != 8)
        return VI_ERROR_RSRC_NFOUND;
    // The server's largest message counts its header too; take the smaller reading.
    uint64_t serverMax = GetU64(payload.data());
    if (serverMax <= kHeaderBytes) return VI_ERROR_RSRC_NFOUND;
    size_t maxWrite =
        static_cast<size_t>(std::min<uint64_t>(serverMax - kHeaderBytes, kMaxMessage));

    std::string device;
    for (char c : address.device)
        device += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    opened.transport.reset(
        new HislipTransport(std::move(sync), std::move(async), address, maxWrite));
    opened.lockKey = lockKey + "-" + device;
    return VI_SUCCESS;
}

IoStatus HislipTransport::Send(const uint8_t* data, size_t size, const Deadline& deadline,
                               size_t& sent) {
    sent = 0;
    if (interrupted_ || lost_) return IoStatus::kClosed;
    while (sent < size) {
        size_t chunk = std::min(size - sent, maxWrite_);
        bool last = sent + chunk == size;
        IoStatus io = sync_->SendFrame(
            Message(last ? kDataEnd : kData, 0, messageId_, data + sent, chunk), deadline);
        if (io == IoStatus::kClosed || io == IoStatus::kError) lost_ = true;
        if (io != IoStatus::kOk) return interrupted_ ? IoStatus::kClosed : io;
        messageId_ += 2;
        sent += chunk;
    }
    return IoStatus::kOk;
}

IoStatus HislipTransport::Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                                  size_t& received) {
    received = 0;
    for (;;) {
        if (interrupted_) return IoStatus::kClosed;
        if (lost_) return IoStatus::kClosed;
        if (payloadLeft_ > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(size, payloadLeft_));
            IoStatus io = sync_->ReceiveSome(buffer, want, deadline, received);
            if (io == IoStatus::kClosed || io == IoStatus::kError) lost_ = true;
            payloadLeft_ -= received;
            return io;
        }
        Header header;
        IoStatus io = ReadHeader(*sync_, deadline, header);
        if (io == IoStatus::kTimeout) return io;
        if (io == IoStatus::kOk && header.type == kFatalError) io = IoStatus::kClosed;
        if (io == IoStatus::kOk && header.type != kData && header.type != kDataEnd) {
            // A notice (an error, an interruption): read past it.
            io = header.length > kMaxControlPayload ? IoStatus::kError
                                                    : sync_->Need(header.length, deadline);
            if (io == IoStatus::kTimeout) io = IoStatus::kError;  // the framing would be lost
            if (io == IoStatus::kOk) sync_->Consume(header.length);
            if (io == IoStatus::kOk) continue;
        }
        if (io == IoStatus::kOk && header.length > kMaxMessage) io = IoStatus::kError;
        if (io != IoStatus::kOk) {
            lost_ = true;
            return io;
        }
        payloadLeft_ = header.length;
    }
}

void HislipTransport::Interrupt() {
    interrupted_ = true;
    sync_->Stream().Interrupt();
    async_->Stream().Interrupt();
}

ViStatus HislipTransport::GetAttribute(ViAttr attribute, void* value) const {
    switch (attribute) {
        case VI_ATTR_TCPIP_DEVICE_NAME:
            return PutAttributeText(address_.device, value);
        default:
            return PutTcpipAttribute(address_.board, address_.host, attribute, value);
    }
}

}  // namespace kestrava::visa
