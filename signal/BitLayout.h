// The steps of bit recovery that turn threshold crossings into bits: merging the rising
// and falling crossings, counting whole bits between neighbours at the protocol bit rate
// and laying them out evenly; plus the dump files and the decode time estimate.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "instrument/EdgeSearchEngine.h"
#include "signal/BitStream.h"

namespace kestrava {

// Truncates toward zero, then rounds up only when the rest is greater than one half
// (an exact half stays down). Values beyond the 32-bit range saturate; NaN gives 0.
std::int32_t NearestInteger(double x);

// Lays n bits of one level over span samples starting at start: s = span / n whole
// samples per bit, bit i centred at start + s/2 + i*s, stored 1-based. Advances the
// cursor; bits beyond the stream's bit count are dropped.
void BitFill(std::int32_t span, std::int32_t start, std::int64_t n, std::int8_t level,
             std::int32_t& cursor, BitStream& bits);

// The crossings of one run in points, with the time base that gives their seconds.
struct EdgeLists {
    std::span<const double> risingPositions;
    std::span<const double> fallingPositions;
    EdgeTimeBase timeBase;
};

// Builds the bits, their positions, the bit count and the samples-per-bit estimate from
// the crossings, reading each list once in order and keeping nothing per edge. Returns
// false and leaves the stream untouched when either list is empty or their lengths differ
// by more than one.
bool LayOutBits(const EdgeLists& edges, float bitRateBps, std::uint32_t sampleCount,
                BitStream& bits);

// Seconds the word and primitive decoding of this many edges is expected to take.
int DecodeTimeEstimateS(std::int64_t edges);

// "8bit-dump.csv" and "awg-marker-dump.csv" in the folder; a file that cannot be made
// is skipped.
void WriteBitDumps(const BitStream& bits, const std::string& folder);

}  // namespace kestrava
