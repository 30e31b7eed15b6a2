// The recovered bits of one waveform: one level per unit interval, each with the sample
// position at which the bit is centred.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrava {

struct BitStream {
    std::int32_t bitCount = 0;               // bits the arrays are sized for
    std::vector<std::int8_t> bits;           // bitCount + 4 entries: +1 high, -1 low
    std::vector<std::int32_t> bitPositions;  // bitCount + 4 entries, 1-based sample index
    std::int32_t samplesPerBit = 1;
};

}  // namespace kestrava
