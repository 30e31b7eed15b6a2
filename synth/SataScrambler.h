// The Serial ATA scrambler: a 16-bit linear feedback shift register with the generator
// x^16 + x^15 + x^13 + x^4 + 1, preset to all ones, giving 32 bits per dword.
#pragma once

#include <cstdint>

namespace kestrava::synth {

class SataScrambler {
  public:
    SataScrambler() = default;

    // Back to the state of a start of frame.
    void Reset() { state_ = kPreset; }
    // The next 32-bit scrambling value; its bit 0 is the first bit the register gives.
    std::uint32_t Next();

    static constexpr std::uint16_t kPreset = 0xFFFF;

  private:
    std::uint16_t state_ = kPreset;
};

}  // namespace kestrava::synth
