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

}  // namespace kestrava
