#include "instrument/InstrumentStop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "visa/visa.h"

namespace kestrava {
namespace {

// Short enough that a stop ends a wait well within a second.
constexpr std::int64_t kSleepStepMs = 20;

std::atomic<bool> stopRequested{false};
std::atomic<std::uint32_t> workingSession{0};
std::atomic<bool> interrupted{false};
std::atomic<int> activityNow{0};
std::atomic<std::int64_t> doneNow{0};
std::atomic<std::int64_t> totalNow{0};

}  // namespace

void RequestInstrumentStop(bool on) {
    stopRequested = on;
}

bool InstrumentStopRequested() {
    return stopRequested;
}

bool SleepUnlessStopped(std::int64_t intervalMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(intervalMs);
    for (;;) {
        if (stopRequested) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - now, std::chrono::milliseconds(kSleepStepMs)));
    }
}

void NoteInstrumentSession(std::uint32_t session) {
    workingSession = session;
    interrupted = false;
}

void InterruptInstrumentIo() {
    const std::uint32_t session = workingSession.exchange(0);
    if (session == 0) return;
    interrupted = true;
    viClose(session);
}

bool InstrumentSessionInterrupted() {
    return interrupted;
}

void SetInstrumentProgress(InstrumentActivity activity, std::int64_t done, std::int64_t total) {
    doneNow = done;
    totalNow = total;
    activityNow = static_cast<int>(activity);
}

InstrumentProgress CurrentInstrumentProgress() {
    return {static_cast<InstrumentActivity>(activityNow.load()), doneNow.load(), totalNow.load()};
}

}  // namespace kestrava
