// The verdict on each frame of a decode: its CRC, whether its FIS type is known and its
// length fits the type, a HOLD inside, and what cut it short. Made from the frame records
// of the primitive decoder; nothing here reads past a frame's own data words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/CSataPrimDecoder.h"

namespace kestrava {

struct FrameVerdict {
    int sofWordIndex = 0;
    bool hasType = false;  // at least one data word came
    std::uint8_t type = 0;
    int dwords = 0;  // FIS dwords, the CRC left out; every word received for a cut frame
    FrameEnd end = FrameEnd::Eof;
    bool held = false;
    bool crcChecked = false;
    std::uint32_t crcComputed = 0;
    std::uint32_t crcSent = 0;
    bool malformed = false;  // cut short, empty, no CRC, unknown type or a wrong length
    std::string text;        // "FIS 0x27 Register H->D, 5 dwords: CRC OK"

    bool CrcError() const { return crcChecked && crcComputed != crcSent; }
};

struct FrameTotals {
    int frames = 0;
    int crcErrors = 0;
    int malformed = 0;
};

std::vector<FrameVerdict> JudgeFrames(const CSataPrimDecoder& prims);
FrameTotals CountVerdicts(const std::vector<FrameVerdict>& verdicts);
// "Frames: N, CRC errors: M, malformed: K"
std::string TotalsLine(const FrameTotals& totals);

}  // namespace kestrava
