// The instrument session (the handle shared with the waveform data module), command
// writes and reply reads, and the single-sequence acquisition.
#include "instrument/COscilloscope.h"

#include <array>

#include "base/Guard.h"
#include "base/Log.h"
#include "instrument/AcquisitionMode.h"
#include "instrument/InstrumentStop.h"
#include "instrument/ReplyNumbers.h"
#include "instrument/Wdm.h"
#include "visa/visa.h"

namespace kestrava {

COscilloscope::COscilloscope() {
    Guard("COscilloscope", "Constructor", [&] { session_ = 0; });
}

COscilloscope::~COscilloscope() {
    WriteLog("Destr", "Start:~COscilloscope", kLogError);
    WriteLog("Destr", "End:~COscilloscope", kLogError);
}

COscilloscope& TheOscilloscope() {
    static COscilloscope scope;
    return scope;
}

int COscilloscope::OpenConnection() {
    return GuardOr(0, logSource_, "OpenConnection", [&] {
        if (session_ != 0 && !connectionLost_ && !InstrumentSessionInterrupted() &&
            WdmGetHalt() != WdmHalt::kSessionLost)
            return 1;
        // An instrument that went away, stopped answering in a transfer or whose session a
        // stop closed is reached through a new session.
        if (session_ != 0) CloseConnection(true);
        std::uint32_t handle = 0;
        WdmConnect(handle);
        session_ = handle;
        NoteInstrumentSession(session_);
        return session_ != 0 ? 1 : 0;
    });
}

int COscilloscope::CloseConnection(bool close) {
    if (!close) return 1;
    Guard(logSource_, "CloseConnection", [&] { WdmDisconnect(); });
    session_ = 0;
    NoteInstrumentSession(0);
    connectionLost_ = false;
    return 1;
}

std::int32_t COscilloscope::WriteStatus(const std::string& command) {
    if (session_ == 0) return VI_ERROR_INV_OBJECT;
    // A session the transfer gave up sends nothing more: it would only wait again.
    if (WdmGetHalt() == WdmHalt::kSessionLost) return NoteLoss(VI_ERROR_CONN_LOST);
    ViUInt32 written = 0;
    return NoteLoss(viWrite(session_, reinterpret_cast<ViConstBuf>(command.data()),
                            static_cast<ViUInt32>(command.size()), &written));
}

std::int32_t COscilloscope::NoteLoss(std::int32_t status) {
    if (status == VI_ERROR_CONN_LOST) connectionLost_ = true;
    return status;
}

std::int32_t COscilloscope::ReadStatus(std::string& reply, std::size_t maxBytes) {
    if (session_ == 0) return VI_ERROR_INV_OBJECT;
    if (WdmGetHalt() == WdmHalt::kSessionLost) return NoteLoss(VI_ERROR_CONN_LOST);
    std::array<char, kReplySize> buffer{};
    ViUInt32 count = 0;
    const auto limit = static_cast<ViUInt32>(maxBytes < kReplySize ? maxBytes : kReplySize);
    const ViStatus status =
        viRead(session_, reinterpret_cast<ViPBuf>(buffer.data()), limit, &count);
    reply.assign(buffer.data(), count <= limit ? count : limit);
    return NoteLoss(status);
}

int COscilloscope::Write(const std::string& command) {
    return GuardOr(1, logSource_, "Write", [&] {
        if (session_ == 0) return 0;
        WriteStatus(command);
        return 1;
    });
}

int COscilloscope::Read(std::string& reply) {
    return GuardOr(1, logSource_, "Write", [&] {
        if (session_ == 0) return 0;
        ReadStatus(reply);
        return 1;
    });
}

int COscilloscope::SelectChannelAndAcquire(const std::string& source) {
    return GuardOr(0, logSource_, "SelectChannelAndAcquire", [&] {
        if (session_ != 0) viClear(session_);
        const std::int32_t header = WriteStatus("HEADER OFF;");
        if (header < VI_SUCCESS)
            WriteLog(logSource_, "Header off failed VI ERROR: " + std::to_string(header), kLogInfo);
        if (WriteStatus("SELECT:" + source + " ON") < VI_SUCCESS) return 0;
        if (WriteStatus("DATa:SOUrce " + source) < VI_SUCCESS) return 0;
        return AcquireWaveform(AcquisitionMode());
    });
}

int COscilloscope::AcquireWaveform(int mode) {
    return GuardOr(0, logSource_, "AcquireWaveform", [&] {
        if (mode != kAcquireSingleSequence && mode != kAcquireForcedTrigger) return 1;
        WriteStatus("DISplay:DESKew 0");
        WriteStatus("ACQUIRE:STOPAFTER SEQUENCE");
        WriteStatus("ACQUIRE:STATE RUN");
        if (mode == kAcquireForcedTrigger) WriteStatus("TRIGGER Force");
        SetInstrumentProgress(InstrumentActivity::kWaitingForTrigger);
        struct Idle {
            ~Idle() { SetInstrumentProgress(InstrumentActivity::kIdle); }
        } idle;
        int polls = 0;
        for (;;) {
            // A stop ends the wait as running out of polls does.
            if (!SleepUnlessStopped(timings_.busyPollInterval.count())) return 0;
            if (polls++ > timings_.busyPollLimit) return 0;
            WriteStatus("BUSY?");
            std::string reply;
            // A reply that never came is no "not busy": the acquisition has failed.
            if (ReadStatus(reply) < VI_SUCCESS) return 0;
            if (IntegerOf(reply) == 0) return 1;
        }
    });
}

}  // namespace kestrava
