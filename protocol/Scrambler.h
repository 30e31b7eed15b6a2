// The SATA scrambler sequence (x^16 + x^15 + x^13 + x^4 + 1) that descrambles the data
// words of a frame. Its state lives for the whole process, as on the link: a sequence
// continues across calls and across decoders until the next reset.
#pragma once

#include <cstdint>

namespace kestrava {

// The next 32-bit scrambler value; a reset first restarts the sequence at its beginning,
// whose first values are 0xC2D2768D, 0x1F26B368, 0xA508436C, 0x3452D354.
std::uint32_t NextScrambleWord(bool reset);

}  // namespace kestrava
