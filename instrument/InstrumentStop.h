// A stop asked for by the window's thread while another thread has the instrument at work,
// and what that work is doing, for the window to show. The busy wait and the curve
// transfer look at the stop between their steps; a call waiting for an answer is cut
// short by closing the session it waits on.
#pragma once

#include <cstdint>

namespace kestrava {

enum class InstrumentActivity { kIdle, kWaitingForTrigger, kTransferring };

struct InstrumentProgress {
    InstrumentActivity activity = InstrumentActivity::kIdle;
    std::int64_t done = 0;   // bytes of the curve block received
    std::int64_t total = 0;  // bytes the block announced
};

void RequestInstrumentStop(bool on);
bool InstrumentStopRequested();
// Sleeps for the interval in short steps; false, at once, when a stop is asked for.
bool SleepUnlessStopped(std::int64_t intervalMs);

// The session a blocked call may be waiting on (0 when none).
void NoteInstrumentSession(std::uint32_t session);
// Closes that session: a call waiting on it returns with a lost connection, and the next
// connection opens a new one.
void InterruptInstrumentIo();
// The noted session was closed by InterruptInstrumentIo.
bool InstrumentSessionInterrupted();

void SetInstrumentProgress(InstrumentActivity activity, std::int64_t done = 0,
                           std::int64_t total = 0);
InstrumentProgress CurrentInstrumentProgress();

}  // namespace kestrava
