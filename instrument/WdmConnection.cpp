// The waveform data module's VISA session: connecting, disconnecting, the module's I/O
// helpers and its timeouts.
#include <algorithm>
#include <array>

#include "instrument/ReplyNumbers.h"
#include "instrument/SourceNames.h"
#include "instrument/Wdm.h"
#include "instrument/WdmIo.h"
#include "instrument/WdmState.h"

namespace kestrava {
namespace wdm {

WdmTimeouts& Timeouts() {
    static WdmTimeouts timeouts;
    return timeouts;
}

ViStatus Io::Write(std::string_view command) const {
    ViUInt32 written = 0;
    return viWrite(session_, reinterpret_cast<ViConstBuf>(command.data()),
                   static_cast<ViUInt32>(command.size()), &written);
}

ViStatus Io::Read(std::string& text) const {
    std::array<char, kReplyBytes> buffer{};
    ViUInt32 count = 0;
    const ViStatus status =
        viRead(session_, reinterpret_cast<ViPBuf>(buffer.data()), kReplyBytes, &count);
    text.assign(buffer.data(), std::min<std::size_t>(count, kReplyBytes));
    return status;
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
    std::size_t done = 0;
    while (done < count) {
        const auto ask = static_cast<ViUInt32>(std::min<std::size_t>(count - done, 0x40000000u));
        ViUInt32 got = 0;
        const ViStatus status = viRead(session_, data + done, ask, &got);
        done += std::min<std::size_t>(got, ask);
        if (status < VI_SUCCESS) return status;
        if (done < count && status != VI_SUCCESS_MAX_CNT) return VI_ERROR_INV_LENGTH;
    }
    return VI_SUCCESS;
}

LockGroup::LockGroup(ViSession session, std::uint32_t timeoutMs)
    : session_(session),
      status_(viLock(session, VI_EXCLUSIVE_LOCK, timeoutMs, VI_NULL, VI_NULL)),
      held_(status_ >= VI_SUCCESS) {}

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

constexpr char kResource[] = "GPIB8::1::INSTR";

}  // namespace

std::string_view WdmSourceName(int source) {
    if (source < 0 || source >= kWdmSourceCount) return {};
    return SourceName(ProgramSourceIndex(source));
}

void WdmSetTimeouts(const WdmTimeouts& timeouts) {
    wdm::Timeouts() = timeouts;
}

bool WdmConnect(std::uint32_t& session) {
    wdm::ModuleState& state = wdm::State();
    session = 0;
    const ViSession manager = wdm::ResourceManager();
    ViSession opened = VI_NULL;
    if (manager == VI_NULL || viOpen(manager, kResource, VI_NO_LOCK, 0, &opened) < VI_SUCCESS ||
        opened == VI_NULL) {
        state.errorCode = kWdmGpibConnectFailed;
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
    bool closed = true;
    if (state.session != 0 && viClose(state.session) < VI_SUCCESS) {
        state.errorCode = kWdmGpibDisconnectFailed;
        closed = false;
    }
    state.session = 0;
    return closed;
}

}  // namespace kestrava
