// What a traffic builder put on the line: dwords with their meaning, the 10-bit
// characters that carry them, the line bits, the frames and the deliberate faults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "synth/SataPrimitive.h"

namespace kestrava::synth {

enum class FaultKind : std::uint8_t {
    None,
    InvalidCode,     // a 10-bit code that is no character at either disparity
    WrongDisparity,  // a character sent with the code of the other running disparity
    ExtraBit,        // the character's last bit is sent twice
    LostBit,         // the character's last bit is not sent
};
std::string_view FaultName(FaultKind kind);

enum class DwordRole : std::uint8_t {
    Primitive,  // one of the eighteen primitives, never scrambled
    FisDword,   // a dword of a frame's FIS, scrambled on the line
    Crc,        // the frame's CRC, scrambled on the line
    Junk,       // data after CONT, carrying nothing
    Raw,        // a data dword outside any frame, sent as given
};

struct SentDword {
    DwordRole role = DwordRole::Raw;
    SataPrimitive primitive = SataPrimitive::Align;  // for DwordRole::Primitive
    std::uint32_t lineValue = 0;                     // as sent, least significant byte first
    std::uint32_t plainValue = 0;  // before scrambling (frame dwords); else lineValue
    int frame = -1;                // frame index of FIS dwords and CRC
    int indexInFrame = -1;         // 0 for FIS dword 0; the CRC follows the last
    int firstCharacter = 0;
};

struct SentCharacter {
    int value = 0;                      // 0-255 data, 256-267 control (the intended character)
    std::uint16_t code = 0;             // 10 bits as sent, bit 9 first
    bool negativeBefore = true;         // running disparity the encoder was at
    FaultKind fault = FaultKind::None;  // here, packing a character into 24 bytes
    int dword = 0;
    int byteInDword = 0;  // 0 is sent first
    int firstBit = 0;     // index of its first bit in the line bits
    int bitCount = 10;    // 11 with an extra bit, 9 with a lost one
};

struct SentFrame {
    std::vector<std::uint32_t> dwords;  // FIS dwords then the CRC, unscrambled
    std::vector<int> dwordIndexes;      // index in SataTraffic::dwords of each of them
    std::string description;
    bool carriesCdb = false;
    int sofDword = 0;
    int eofDword = 0;
    bool crcSent = true;  // false for a frame cut short before its CRC
    std::uint8_t Type() const { return dwords.empty() ? 0 : static_cast<std::uint8_t>(dwords[0]); }
};

struct SentFault {
    FaultKind kind = FaultKind::None;
    int character = 0;
};

struct SataTraffic {
    std::vector<SentDword> dwords;
    std::vector<SentCharacter> characters;
    std::vector<std::uint8_t> bits;  // 0 or 1 per unit interval, first sent first
    std::vector<SentFrame> frames;
    std::vector<SentFault> faults;
};

}  // namespace kestrava::synth
