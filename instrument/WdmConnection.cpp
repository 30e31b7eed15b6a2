// The waveform data module's VISA session: connecting, disconnecting, the module's I/O
// helpers, what halts them, and its timeouts.
#include <algorithm>
#include <array>
#include <string>

#include "instrument/ReplyNumbers.h"
#include "instrument/SourceNames.h"
#include "instrument/Wdm.h"
#include "instrument/WdmIo.h"
#include "instrument/WdmState.h"
#if !defined(KESTRAVA_VENDOR_VISA)
#include "visa/kvext.h"
#endif

namespace kestrava {
namespace {

constexpr char kResource[] = "GPIB8::1::INSTR";

// Milliseconds as seconds in a message: "60", "0.3", "2.25".
std::string SecondsText(ViUInt32 ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 == 0) return text;
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    return text + "." + fraction;
}

#if defined(KESTRAVA_VENDOR_VISA)
// The socket address the session reaches, as its resource name; empty when its interface
// tells none.
std::string AddressOf(ViSession session) {
    ViChar host[VI_FIND_BUFLEN] = {};
    ViUInt16 port = 0, board = 0;
    if (viGetAttribute(session, VI_ATTR_TCPIP_ADDR, host) < VI_SUCCESS ||
        viGetAttribute(session, VI_ATTR_TCPIP_PORT, &port) < VI_SUCCESS)
        return {};
    if (viGetAttribute(session, VI_ATTR_INTF_NUM, &board) < VI_SUCCESS) board = 0;
    const std::string text(host);
    const std::string shown = text.find(':') == std::string::npos ? text : "[" + text + "]";
    return "TCPIP" + std::to_string(board) + "::" + shown + "::" + std::to_string(port) +
           "::SOCKET";
}
#endif

// The address the program's resource name stands for, whatever its transport; our VISA
// tells it, a vendor's only for a socket.
std::string ResolvedAddress(ViSession session) {
#if defined(KESTRAVA_VENDOR_VISA)
    return AddressOf(session);
#else
    (void)session;
    ViChar address[VI_FIND_BUFLEN] = {};
    return kvResolveResource(kResource, address) >= VI_SUCCESS ? std::string(address)
                                                               : std::string();
#endif
}

std::string NoAnswerText(ViSession session) {
    ViUInt32 timeoutMs = 0;
    viGetAttribute(session, VI_ATTR_TMO_VALUE, &timeoutMs);
    const std::string address = ResolvedAddress(session);
    return "no answer from " + std::string(kResource) +
           (address.empty() ? "" : " (" + address + ")") + " within " + SecondsText(timeoutMs) +
           " s";
}

// "cannot connect to GPIB8::1::INSTR (<address>): Connection refused"; empty when the
// library tells no reason.
std::string ConnectFailureText() {
#if defined(KESTRAVA_VENDOR_VISA)
    return {};  // a vendor's library tells no reason
#else
    ViChar reason[256] = {};
    if (kvLastOpenFailure(reason, sizeof reason) < VI_SUCCESS || reason[0] == '\0') return {};
    ViChar address[VI_FIND_BUFLEN] = {};
    const bool resolved = kvResolveResource(kResource, address) >= VI_SUCCESS && address[0];
    return "cannot connect to " + std::string(kResource) +
           (resolved ? " (" + std::string(address) + ")" : std::string()) + ": " + reason;
#endif
}

void Resume(wdm::ModuleState& state) {
    state.halt = WdmHalt::kNone;
    state.problem.clear();
}

}  // namespace

namespace wdm {

WdmTimeouts& Timeouts() {
    static WdmTimeouts timeouts;
    return timeouts;
}

ViStatus Io::Halted() const {
    if (!guarded_) return VI_SUCCESS;
    switch (RawState().halt) {
        case WdmHalt::kSessionLost:
            return VI_ERROR_CONN_LOST;
        case WdmHalt::kInUse:
            return VI_ERROR_RSRC_LOCKED;
        case WdmHalt::kStopped:
            return VI_ERROR_ABORT;
        case WdmHalt::kNone:
            break;
    }
    return VI_SUCCESS;
}

ViStatus Io::Noted(ViStatus status) const {
    if (!guarded_ || (status != VI_ERROR_TMO && status != VI_ERROR_CONN_LOST)) return status;
    ModuleState& state = RawState();
    if (state.halt != WdmHalt::kSessionLost) {
        state.halt = WdmHalt::kSessionLost;
        state.problem = status == VI_ERROR_TMO ? NoAnswerText(session_) : std::string();
    }
    return status;
}

ViStatus Io::Write(std::string_view command) const {
    if (const ViStatus halted = Halted(); halted != VI_SUCCESS) return halted;
    ViUInt32 written = 0;
    return Noted(viWrite(session_, reinterpret_cast<ViConstBuf>(command.data()),
                         static_cast<ViUInt32>(command.size()), &written));
}

ViStatus Io::Read(std::string& text) const {
    text.clear();
    if (const ViStatus halted = Halted(); halted != VI_SUCCESS) return halted;
    std::array<char, kReplyBytes> buffer{};
    ViUInt32 count = 0;
    const ViStatus status =
        viRead(session_, reinterpret_cast<ViPBuf>(buffer.data()), kReplyBytes, &count);
    text.assign(buffer.data(), std::min<std::size_t>(count, kReplyBytes));
    return Noted(status);
}

ViStatus Io::Query(std::string_view command, std::string& reply) const {
    reply.clear();
    const ViStatus status = Write(command);
    if (status < VI_SUCCESS) return status;
    return Read(reply);
}

ViStatus Io::QueryInteger(std::string_view command, std::int64_t& value) const {
    std::string reply;
    const ViStatus status = Query(command, reply);
    if (status >= VI_SUCCESS) value = IntegerOf(reply);
    return status;
}

ViStatus Io::QueryDouble(std::string_view command, double& value) const {
    std::string reply;
    const ViStatus status = Query(command, reply);
    if (status >= VI_SUCCESS) value = DoubleOf(reply);
    return status;
}

ViStatus Io::ReadExactly(std::uint8_t* data, std::size_t count) const {
    return ReadBytes(data, count, false);
}

ViStatus Io::ReadThrough(std::uint8_t* data, std::size_t count) const {
    return ReadBytes(data, count, true);
}

ViStatus Io::ReadBytes(std::uint8_t* data, std::size_t count, bool acrossEnds) const {
    if (const ViStatus halted = Halted(); halted != VI_SUCCESS) return halted;
    std::size_t done = 0;
    while (done < count) {
        const auto ask = static_cast<ViUInt32>(std::min<std::size_t>(count - done, 0x40000000u));
        ViUInt32 got = 0;
        const ViStatus status = Noted(viRead(session_, data + done, ask, &got));
        done += std::min<std::size_t>(got, ask);
        if (status < VI_SUCCESS) return status;
        if (done < count && status != VI_SUCCESS_MAX_CNT && !acrossEnds) return VI_ERROR_INV_LENGTH;
    }
    return VI_SUCCESS;
}

ViStatus Io::Lock(std::uint32_t timeoutMs) const {
    if (const ViStatus halted = Halted(); halted != VI_SUCCESS) return halted;
    const ViStatus status = viLock(session_, VI_EXCLUSIVE_LOCK, timeoutMs, VI_NULL, VI_NULL);
    if (guarded_ && status == VI_ERROR_TMO) {
        RawState().halt = WdmHalt::kInUse;
        RawState().problem = "the instrument is in use by another program";
    }
    return status;
}

LockGroup::LockGroup(const Io& io, std::uint32_t timeoutMs)
    : session_(io.Session()), status_(io.Lock(timeoutMs)), held_(status_ >= VI_SUCCESS) {}

void LockGroup::Release() {
    if (!held_) return;
    held_ = false;
    viUnlock(session_);
}

namespace {

// One resource manager for the whole run: every session is opened through it, and it is
// never closed, since closing it would close the instrument session with it.
ViSession ResourceManager() {
    static ViSession manager = VI_NULL;
    if (manager == VI_NULL && viOpenDefaultRM(&manager) < VI_SUCCESS) manager = VI_NULL;
    return manager;
}

}  // namespace

void ReleaseTransferBuffers(ModuleState& state) {
    std::vector<float>().swap(state.data);
    state.transferState = kTransferNone;
    state.headerCached = false;
    if (state.engine) state.engine->Clear();
}

}  // namespace wdm

namespace {

// The module groups its sources CH, MATH, REF; the program CH, REF, MATH.
constexpr int ProgramSourceIndex(int source) {
    constexpr int kProgramGroup[] = {0, 2, 1};
    return kProgramGroup[source / 4] * 4 + source % 4;
}
static_assert(SourceName(ProgramSourceIndex(4)) == "MATH1" &&
              SourceName(ProgramSourceIndex(11)) == "REF4");

}  // namespace

std::string_view WdmSourceName(int source) {
    if (source < 0 || source >= kWdmSourceCount) return {};
    return SourceName(ProgramSourceIndex(source));
}

void WdmSetTimeouts(const WdmTimeouts& timeouts) {
    wdm::Timeouts() = timeouts;
}

WdmHalt WdmGetHalt() {
    return wdm::RawState().halt;
}

std::string WdmGetInstrumentProblem() {
    return wdm::RawState().problem;
}

void WdmForgetInUse() {
    wdm::ModuleState& state = wdm::RawState();
    if (state.halt == WdmHalt::kInUse || state.halt == WdmHalt::kStopped) Resume(state);
}

bool WdmConnect(std::uint32_t& session) {
    wdm::ModuleState& state = wdm::State();
    session = 0;
    Resume(state);
    const ViSession manager = wdm::ResourceManager();
    ViSession opened = VI_NULL;
    if (manager == VI_NULL || viOpen(manager, kResource, VI_NO_LOCK, 0, &opened) < VI_SUCCESS ||
        opened == VI_NULL) {
        state.errorCode = kWdmGpibConnectFailed;
        state.problem = ConnectFailureText();
        return false;
    }
    wdm::Io(opened).Write("HEADER 0");
    state.session = opened;
    session = opened;
    return true;
}

bool WdmDisconnect() {
    wdm::ModuleState& state = wdm::State();
    wdm::ReleaseTransferBuffers(state);
    Resume(state);
    bool closed = true;
    if (state.session != 0 && viClose(state.session) < VI_SUCCESS) {
        state.errorCode = kWdmGpibDisconnectFailed;
        closed = false;
    }
    state.session = 0;
    return closed;
}

}  // namespace kestrava
