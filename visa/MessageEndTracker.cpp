#include "visa/MessageEndTracker.h"

#include <algorithm>

namespace kestrava::visa {

void MessageEndTracker::Reset() {
    state_ = State::kText;
    elementStart_ = true;
    digitsLeft_ = 0;
    length_ = 0;
}

size_t MessageEndTracker::Consume(const uint8_t* data, size_t size, bool& ended) {
    ended = false;
    size_t i = 0;
    while (i < size) {
        if (state_ == State::kBlock) {
            // Block bytes are opaque: skip them in one step.
            uint64_t take = std::min<uint64_t>(length_, size - i);
            i += static_cast<size_t>(take);
            length_ -= take;
            if (length_ == 0) state_ = State::kText;
            continue;
        }
        uint8_t byte = data[i++];
        if (byte == '\n') {
            Reset();
            ended = true;
            return i;
        }
        switch (state_) {
            case State::kText:
                if (byte == '"')
                    state_ = State::kString;
                else if (byte == '#' && elementStart_)
                    state_ = State::kHash;
                elementStart_ = byte == ',' || byte == ';' || byte == ' ';
                break;
            case State::kString:
                if (byte == '"') {
                    state_ = State::kText;
                    elementStart_ = false;
                }
                break;
            case State::kHash:
                if (byte >= '1' && byte <= '9') {
                    digitsLeft_ = byte - '0';
                    length_ = 0;
                    state_ = State::kLength;
                } else {
                    state_ = byte == '"' ? State::kString : State::kText;  // #0, #H1F, ...
                    elementStart_ = false;
                }
                break;
            case State::kLength:
                if (byte >= '0' && byte <= '9') {
                    length_ = length_ * 10 + (byte - '0');
                    if (--digitsLeft_ == 0) state_ = length_ > 0 ? State::kBlock : State::kText;
                } else {
                    state_ = byte == '"' ? State::kString : State::kText;  // not a block after all
                    elementStart_ = false;
                }
                break;
            case State::kBlock:
                break;
        }
    }
    return i;
}

}  // namespace kestrava::visa
