// A small receiver for tests: reads characters back through a reverse table of the
// encoder, checks running disparity the way a receiver sees it, and pulls frames out of
// the dword stream with their own descrambling.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "synth/SataTraffic.h"

namespace kestrava::synth::test {

struct ReadCharacter {
    int value = -1;  // -1 for a code that is no character
    int column = 0;  // 1 sent at RD-, 0 sent at RD+, 2 the same at both
};

// What a 10-bit code stands for.
ReadCharacter Read(std::uint16_t code);
bool IsValidCode(std::uint16_t code);

// Indexes of characters whose code does not fit the disparity the previous one left.
std::vector<int> DisparityErrors(const std::vector<SentCharacter>& characters);

// Frames as a receiver finds them from the codes alone: between SOF and EOF, every
// dword whose first character is data is descrambled and kept; primitives are skipped,
// and so is the junk between CONT and the next primitive other than ALIGN.
std::vector<std::vector<std::uint32_t>> ReceiveFrames(const std::vector<SentCharacter>& characters);

// The value of a primitive's dword, first character in bits 7-0 (control characters
// as their byte), or nullopt for a data dword.
std::optional<std::uint32_t> PrimitiveDwordAt(const std::vector<SentCharacter>& characters,
                                              std::size_t first);

}  // namespace kestrava::synth::test
