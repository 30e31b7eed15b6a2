#include "synth/SataScrambler.h"

namespace kestrava::synth {

namespace {
// Taps of x^15, x^13, x^4 and x^0 for the register in its shift-left (Galois) form.
constexpr std::uint16_t kFeedback = 0xA011;
}  // namespace

std::uint32_t SataScrambler::Next() {
    std::uint32_t value = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const unsigned out = state_ >> 15 & 1u;
        state_ = static_cast<std::uint16_t>(state_ << 1);
        if (out) state_ ^= kFeedback;
        value |= static_cast<std::uint32_t>(out) << bit;
    }
    return value;
}

}  // namespace kestrava::synth
