#include "visa/Vxi11Transport.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "visa/AttributeValue.h"
#include "visa/TcpTransport.h"

namespace kestrava::visa {
namespace {

// Portmapper program 100000 version 2: GETPORT of (program, version, protocol, port).
constexpr uint32_t kPortmapper = 100000, kPortmapperVersion = 2, kGetPort = 3;
constexpr uint32_t kCoreProgram = 0x0607AF, kCoreVersion = 1, kProtocolTcp = 6;
constexpr uint32_t kCreateLink = 10, kDeviceWrite = 11, kDeviceRead = 12, kDestroyLink = 23;
constexpr uint32_t kFlagEnd = 0x08;
constexpr uint32_t kErrorTimeout = 15;
constexpr uint32_t kConnectTimeoutMs = 5000;
constexpr uint32_t kCloseTimeoutMs = 200;
constexpr uint32_t kReplyGraceMs = 50;
constexpr size_t kMaxDeviceName = 64;

// The io_timeout the instrument is given: what is left of the deadline.
uint32_t TimeoutOf(const Deadline& deadline) {
    int ms = deadline.PollMs();
    return ms < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

std::optional<uint16_t> AskPortmapper(const LanInstrAddress& address, uint32_t timeoutMs) {
    OpenedTransport opened;
    SocketAddress portmapper{address.board, address.host, Vxi11Transport::PortmapperPort()};
    if (TcpTransport::Open(portmapper, timeoutMs, opened) != VI_SUCCESS) return std::nullopt;
    OncRpcClient rpc(std::move(opened.transport), kPortmapper, kPortmapperVersion);
    std::vector<uint8_t> arguments, results;
    for (uint32_t field : {kCoreProgram, kCoreVersion, kProtocolTcp, 0u}) PutU32(arguments, field);
    Deadline deadline = Deadline::AfterMs(std::max(timeoutMs, kConnectTimeoutMs));
    if (rpc.Call(kGetPort, arguments, deadline, 4, results) != IoStatus::kOk) return std::nullopt;
    XdrReader reader(results.data(), results.size());
    uint32_t port = reader.U32();
    if (reader.Failed() || port == 0 || port > 65535) return std::nullopt;
    return static_cast<uint16_t>(port);
}

IoStatus StatusOfError(uint32_t error) {
    return error == kErrorTimeout ? IoStatus::kTimeout : IoStatus::kError;
}

}  // namespace

uint16_t Vxi11Transport::PortmapperPort() {
    const char* text = std::getenv("KESTRAVA_PORTMAPPER_PORT");
    unsigned port = 0;
    if (text && *text) {
        auto [end, ec] = std::from_chars(text, text + std::strlen(text), port);
        if (ec == std::errc() && *end == '\0' && port > 0 && port <= 65535)
            return static_cast<uint16_t>(port);
    }
    return 111;
}

ViStatus Vxi11Transport::Open(const LanInstrAddress& address, uint32_t timeoutMs,
                              OpenedTransport& opened) {
    std::optional<uint16_t> port = AskPortmapper(address, timeoutMs);
    if (!port) return VI_ERROR_RSRC_NFOUND;
    OpenedTransport core;
    if (TcpTransport::Open({address.board, address.host, *port}, timeoutMs, core) != VI_SUCCESS)
        return VI_ERROR_RSRC_NFOUND;
    std::string coreKey = core.lockKey;
    OncRpcClient rpc(std::move(core.transport), kCoreProgram, kCoreVersion);
    std::vector<uint8_t> arguments, results;
    for (uint32_t field : {0x4B56u, 0u, 0u}) PutU32(arguments, field);  // client id, no lock
    PutXdrOpaque(arguments, reinterpret_cast<const uint8_t*>(address.device.data()),
                 std::min(address.device.size(), kMaxDeviceName));
    Deadline deadline = Deadline::AfterMs(std::max(timeoutMs, kConnectTimeoutMs));
    if (rpc.Call(kCreateLink, arguments, deadline, 16, results) != IoStatus::kOk)
        return VI_ERROR_RSRC_NFOUND;
    XdrReader reader(results.data(), results.size());
    uint32_t error = reader.U32(), link = reader.U32();
    reader.U32();  // the abort channel's port, not used
    uint32_t maxWrite = reader.U32();
    if (reader.Failed() || error != 0 || maxWrite == 0) return VI_ERROR_RSRC_NFOUND;
    std::string device;
    for (char c : address.device)
        device += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    auto client = std::make_unique<OncRpcClient>(std::move(rpc));
    opened.transport.reset(new Vxi11Transport(std::move(client), address, link,
                                              std::min<size_t>(maxWrite, kMaxChunk)));
    // The core channel's address and port name the instrument; the device, which of its links.
    opened.lockKey = coreKey + "-" + device;
    return VI_SUCCESS;
}

Vxi11Transport::~Vxi11Transport() {
    // Tell the instrument the link is done, without waiting long for a dead one.
    if (interrupted_ || lost_) return;
    Deadline deadline = Deadline::AfterMs(kCloseTimeoutMs);
    if (rpc_->Awaiting() && Settle(deadline) != IoStatus::kOk) return;
    std::vector<uint8_t> arguments;
    PutU32(arguments, link_);
    rpc_->Start(kDestroyLink, arguments, deadline);
}

// Takes the reply of a call that outlived its deadline: a write's is dropped, a read's
// data is kept for the next Receive.
IoStatus Vxi11Transport::Settle(const Deadline& deadline) {
    if (!rpc_->Awaiting()) return IoStatus::kOk;
    if (rpc_->AwaitedProcedure() == kDeviceRead) return TakeReadReply(deadline);
    std::vector<uint8_t> results;
    IoStatus io = rpc_->Await(deadline, 8, results);
    if (io == IoStatus::kClosed || io == IoStatus::kError) lost_ = true;
    return io;
}

IoStatus Vxi11Transport::TakeReadReply(const Deadline& deadline) {
    std::vector<uint8_t> results;
    IoStatus io = rpc_->Await(deadline, 12 + requested_, results);
    if (io == IoStatus::kTimeout) return io;
    if (io != IoStatus::kOk) {
        lost_ = io == IoStatus::kClosed || io == IoStatus::kError;
        return io;
    }
    XdrReader reader(results.data(), results.size());
    uint32_t error = reader.U32();
    reader.U32();  // why the read ended; END is found in the bytes by the session
    std::vector<uint8_t> data = reader.Opaque(requested_);
    if (reader.Failed()) {
        lost_ = true;
        return IoStatus::kError;
    }
    // The instrument's own timeout settles the call with nothing to give.
    if (error != 0 && data.empty())
        return error == kErrorTimeout ? IoStatus::kOk : IoStatus::kError;
    early_.insert(early_.end(), data.begin(), data.end());
    return IoStatus::kOk;
}

IoStatus Vxi11Transport::Receive(uint8_t* buffer, size_t size, const Deadline& deadline,
                                 size_t& received) {
    received = 0;
    if (size == 0) return IoStatus::kOk;
    for (;;) {
        if (interrupted_) return IoStatus::kClosed;
        if (earlyAt_ < early_.size()) {
            received = std::min(size, early_.size() - earlyAt_);
            std::memcpy(buffer, early_.data() + earlyAt_, received);
            earlyAt_ += received;
            if (earlyAt_ == early_.size()) early_.clear(), earlyAt_ = 0;
            return IoStatus::kOk;
        }
        if (lost_) return IoStatus::kClosed;
        if (rpc_->Awaiting()) {
            // The instrument was told the same timeout; a moment more lets its answer,
            // rather than a call left hanging, end the wait.
            int left = deadline.PollMs();
            IoStatus io = Settle(left < 0 ? deadline : Deadline::AfterMs(left + kReplyGraceMs));
            if (io != IoStatus::kOk) return io;
            continue;
        }
        if (deadline.Expired()) return IoStatus::kTimeout;
        requested_ = std::min(size, kMaxChunk);
        std::vector<uint8_t> arguments;
        for (uint32_t field :
             {link_, static_cast<uint32_t>(requested_), TimeoutOf(deadline), 0u, 0u, 0u})
            PutU32(arguments, field);
        IoStatus io = rpc_->Start(kDeviceRead, arguments, deadline);
        if (io == IoStatus::kClosed || io == IoStatus::kError) {
            lost_ = true;
            return io;
        }
    }
}

IoStatus Vxi11Transport::Send(const uint8_t* data, size_t size, const Deadline& deadline,
                              size_t& sent) {
    sent = 0;
    if (interrupted_ || lost_) return IoStatus::kClosed;
    IoStatus settled = Settle(deadline);
    if (settled != IoStatus::kOk) return settled;
    while (sent < size) {
        size_t chunk = std::min(size - sent, maxWrite_);
        bool last = sent + chunk == size;
        std::vector<uint8_t> arguments, results;
        for (uint32_t field : {link_, TimeoutOf(deadline), 0u, last ? kFlagEnd : 0u})
            PutU32(arguments, field);
        PutXdrOpaque(arguments, data + sent, chunk);
        IoStatus io = rpc_->Call(kDeviceWrite, arguments, deadline, 8, results);
        if (io == IoStatus::kClosed || io == IoStatus::kError) lost_ = true;
        if (io != IoStatus::kOk) return interrupted_ ? IoStatus::kClosed : io;
        XdrReader reader(results.data(), results.size());
        uint32_t error = reader.U32(), accepted = reader.U32();
        if (reader.Failed() || accepted > chunk) {
            lost_ = true;
            return IoStatus::kError;
        }
        sent += accepted;
        if (error != 0) return StatusOfError(error);
        if (accepted == 0) return IoStatus::kError;  // neither taken nor refused
    }
    return IoStatus::kOk;
}

void Vxi11Transport::Interrupt() {
    interrupted_ = true;
    rpc_->Stream().Interrupt();
}

ViStatus Vxi11Transport::GetAttribute(ViAttr attribute, void* value) const {
    switch (attribute) {
        case VI_ATTR_TCPIP_DEVICE_NAME:
            return PutAttributeText(address_.device, value);
        default:
            return PutTcpipAttribute(address_.board, address_.host, attribute, value);
    }
}

}  // namespace kestrava::visa
