#include "protocol/FrameTracker.h"

#include "protocol/PrimitiveRole.h"
#include "protocol/Scrambler.h"

namespace kestrava {

// A primitive's own trailing characters are data characters too: they count down to the
// frame's first data word. Once a word cannot be completed the count runs past zero.
bool FrameTracker::DataCharacter() {
    return state_ == State::InFrame && --countdown_ == 0;
}

std::uint32_t FrameTracker::Descramble(std::uint32_t raw) {
    std::uint32_t word = raw ^ NextScrambleWord(resetScrambler_);
    resetScrambler_ = false;
    RestartCount();
    return word;
}

std::optional<Frame> FrameTracker::Primitive(int number, int wordIndex, int dataWords) {
    Record(number, wordIndex, dataWords);
    switch (static_cast<PrimitiveRole>(number)) {
        case PrimitiveRole::Sof:
            Start(wordIndex, dataWords);
            return std::nullopt;
        case PrimitiveRole::Eof:
            return End(dataWords);
        case PrimitiveRole::Cont:
            Hold();
            return std::nullopt;
        case PrimitiveRole::Align:
            RestartCount();
            return std::nullopt;
        default:
            Resume();
            return std::nullopt;
    }
}

// A start of frame inside an open frame drops the open one and starts over.
void FrameTracker::Start(int wordIndex, int dataWords) {
    state_ = State::InFrame;
    RestartCount();
    resetScrambler_ = true;
    open_ = Frame{dataWords, 0, wordIndex};
}

// A frame that ends while held is not counted; its data words stay.
std::optional<Frame> FrameTracker::End(int dataWords) {
    bool counted = state_ == State::InFrame;
    state_ = State::Idle;
    if (!counted) return std::nullopt;
    open_.length = dataWords - open_.start;
    return open_;
}

void FrameTracker::Hold() {
    if (state_ == State::InFrame) state_ = State::Held;
}

// Any other primitive, or an unknown control character, ends a hold.
void FrameTracker::Resume() {
    if (state_ == State::Held) state_ = State::InFrame;
    RestartCount();
}

// The record follows the link, not the list: a frame ends at its EOF even while held, and
// SYNC or a new SOF cuts it short.
void FrameTracker::Record(int number, int wordIndex, int dataWords) {
    const PrimitiveRole role = static_cast<PrimitiveRole>(number);
    if (recording_) {
        if (role == PrimitiveRole::Eof) CloseRecord(FrameEnd::Eof, wordIndex, dataWords);
        if (role == PrimitiveRole::Sync) CloseRecord(FrameEnd::Sync, wordIndex, dataWords);
        if (role == PrimitiveRole::Sof) CloseRecord(FrameEnd::NewSof, wordIndex, dataWords);
        if (role == PrimitiveRole::Hold || role == PrimitiveRole::Holda) record_.held = true;
    }
    if (role == PrimitiveRole::Sof) {
        recording_ = true;
        record_ = FrameRecord{};
        record_.frame = Frame{dataWords, 0, wordIndex};
    }
}

void FrameTracker::CloseRecord(FrameEnd end, int wordIndex, int dataWords) {
    recording_ = false;
    record_.frame.length = dataWords - record_.frame.start;
    record_.end = end;
    record_.endWordIndex = wordIndex;
    records_.push_back(record_);
}

void FrameTracker::Finish(int dataWords) {
    if (recording_) CloseRecord(FrameEnd::Capture, -1, dataWords);
}

}  // namespace kestrava
