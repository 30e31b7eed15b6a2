#include "synth/Encoder8b10b.h"

#include <bit>
#include <stdexcept>

namespace kestrava::synth {
namespace {

// 5b/6b sub-block, "abcdei" with "a" as bit 5, as sent at negative running disparity.
// At positive disparity an unbalanced code is sent complemented, and so is D.07, whose
// two balanced forms 111000 / 000111 keep the run lengths short on either side.
constexpr std::array<std::uint8_t, 32> kSixBitAtNegative{
    0b100111, 0b011101, 0b101101, 0b110001, 0b110101, 0b101001, 0b011001, 0b111000,
    0b111001, 0b100101, 0b010101, 0b110100, 0b001101, 0b101100, 0b011100, 0b010111,
    0b011011, 0b100011, 0b010011, 0b110010, 0b001011, 0b101010, 0b011010, 0b111010,
    0b110011, 0b100110, 0b010110, 0b110110, 0b001110, 0b101110, 0b011110, 0b101011,
};
constexpr std::uint8_t kSixBitK28AtNegative = 0b001111;

// 3b/4b sub-block, "fghj" with "f" as bit 3, at negative disparity. y = 7 has the
// primary form P7 here; the alternate A7 replaces it where P7 would make a run of five
// across the sub-block boundary, and in every Kx.7.
constexpr std::array<std::uint8_t, 8> kFourBitAtNegative{
    0b1011, 0b1001, 0b0101, 0b1100, 0b1101, 0b1010, 0b0110, 0b1110,
};
constexpr std::uint8_t kFourBitA7AtNegative = 0b0111;

bool SixBitBalanced(std::uint8_t code) {
    return std::popcount(code) == 3;
}
bool FourBitBalanced(std::uint8_t code) {
    return std::popcount(code) == 2;
}

std::uint8_t SixBitBlock(int x, bool control, bool negative) {
    const std::uint8_t primary = control && x == 28 ? kSixBitK28AtNegative : kSixBitAtNegative[x];
    if (negative) return primary;
    const bool complement = !SixBitBalanced(primary) || x == 7;
    return complement ? static_cast<std::uint8_t>(~primary & 0x3F) : primary;
}

bool UsesA7(int x, int y, bool control, bool negative) {
    if (y != 7) return false;
    if (control) return true;
    // After a 6b block ending "...11" (x = 17, 18, 20 at negative disparity) or "...00"
    // (x = 11, 13, 14 at positive), P7 would extend that run to five.
    if (negative) return x == 17 || x == 18 || x == 20;
    return x == 11 || x == 13 || x == 14;
}

std::uint8_t FourBitBlock(int x, int y, bool control, bool negative) {
    const std::uint8_t primary =
        UsesA7(x, y, control, negative) ? kFourBitA7AtNegative : kFourBitAtNegative[y];
    const std::uint8_t complement = static_cast<std::uint8_t>(~primary & 0x0F);
    if (!FourBitBalanced(primary) || y == 3) return negative ? primary : complement;
    // Balanced blocks are the same at both disparities, except after K28's 6b block:
    // there they are inverted at negative disparity so that K28.1, K28.5 and K28.7
    // carry the comma and no K28.y reads like a data character.
    if (control && x == 28 && negative) return complement;
    return primary;
}

}  // namespace

std::uint16_t Encoder8b10b::CodeFor(int value, bool negative) {
    if (value < 0 || value >= kCharacterCount) throw std::out_of_range("8b/10b character value");
    const bool control = value >= kControlBase;
    int x = value & 31;
    int y = value >> 5;
    if (control) {
        const ControlCharacter& k = kControlCharacters[value - kControlBase];
        x = k.x;
        y = k.y;
    }
    const std::uint8_t six = SixBitBlock(x, control, negative);
    const bool negativeAfterSix = SixBitBalanced(six) ? negative : std::popcount(six) < 3;
    const std::uint8_t four = FourBitBlock(x, y, control, negativeAfterSix);
    return static_cast<std::uint16_t>(six << 4 | four);
}

std::uint16_t Encoder8b10b::Encode(int value) {
    const std::uint16_t code = CodeFor(value, negative_);
    negative_ = NegativeAfter(code, negative_);
    return code;
}

int Encoder8b10b::CodeDisparity(std::uint16_t code) {
    return 2 * std::popcount(static_cast<unsigned>(code & 0x3FF)) - 10;
}

bool Encoder8b10b::NegativeAfter(std::uint16_t code, bool negativeBefore) {
    const int disparity = CodeDisparity(code);
    if (disparity == 0) return negativeBefore;
    return disparity < 0;
}

std::string Encoder8b10b::Name(int value) {
    if (value < 0 || value >= kCharacterCount) return "?";
    int x = value & 31;
    int y = value >> 5;
    char kind = 'D';
    if (value >= kControlBase) {
        x = kControlCharacters[value - kControlBase].x;
        y = kControlCharacters[value - kControlBase].y;
        kind = 'K';
    }
    return kind + std::to_string(x) + "." + std::to_string(y);
}

std::string Encoder8b10b::BitsText(std::uint16_t code) {
    std::string text(10, '0');
    for (int i = 0; i < 10; ++i)
        if (code & (1u << (9 - i))) text[i] = '1';
    return text;
}

}  // namespace kestrava::synth
