// Builds the 8b/10b code table file from the 5b/6b and 3b/4b sub-block rules, so the
// shipped table can be regenerated and checked instead of typed in.
#pragma once

#include <string>
#include <vector>

namespace kestrava::tablegen {

// One character of the code: codes hold the ten bits in transmission order, the first
// transmitted bit (a) being bit 9.
struct CodeCharacter {
    std::string name;  // D21.5, K28.5
    int value = 0;     // 32*y + x for data, 256.. for control characters
    int byte = 0;      // the 8-bit data byte
    bool control = false;
    int rdMinusCode = 0;  // sent at negative running disparity
    int rdPlusCode = 0;   // sent at positive running disparity
};

// A code made of one character's 6b and 4b sub-blocks chosen for opposite running
// disparities, which no valid character uses.
struct WrongDisparityCode {
    std::string name;
    int value = 0;
    int code = 0;
};

// Encodes one character at the given running disparity (true = negative).
int EncodeCharacter(int byte, bool control, bool rdMinus);

// The 256 data characters by value, then the 12 control characters with values
// 0x100..0x10B (K28.0..K28.7, K23.7, K27.7, K29.7, K30.7).
std::vector<CodeCharacter> ValidCharacters();

// For every data character and both starting disparities, the 6b sub-block followed by
// the 4b sub-block of the wrong disparity, kept when it collides with no valid code and
// no earlier wrong-disparity code.
std::vector<WrongDisparityCode> WrongDisparityCodes();

// The whole code table file, "\n" line ends.
std::string GenerateCodeTable();

}  // namespace kestrava::tablegen
