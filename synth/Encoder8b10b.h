// An 8b/10b encoder built from the 5b/6b and 3b/4b sub-block rules, with running
// disparity. Codes are ten bits "abcdei fghj", bit 9 ("a") being sent first.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::synth {

// Character values: 0-255 data Dx.y (32·y + x), 256-267 the control characters below.
inline constexpr int kControlBase = 256;
inline constexpr int kCharacterCount = 268;

struct ControlCharacter {
    int x;              // 5-bit part (EDCBA)
    int y;              // 3-bit part (HGF)
    std::uint8_t byte;  // the byte a link layer puts on its control-character path
};

// Values 256 + i, in this order: K28.0 ... K28.7, K23.7, K27.7, K29.7, K30.7.
inline constexpr std::array<ControlCharacter, 12> kControlCharacters{{
    {28, 0, 0x1C},
    {28, 1, 0x3C},
    {28, 2, 0x5C},
    {28, 3, 0x7C},
    {28, 4, 0x9C},
    {28, 5, 0xBC},
    {28, 6, 0xDC},
    {28, 7, 0xFC},
    {23, 7, 0xF7},
    {27, 7, 0xFB},
    {29, 7, 0xFD},
    {30, 7, 0xFE},
}};

inline constexpr int DataValue(int x, int y) {
    return 32 * y + x;
}
// The value of Kx.y, or -1 when no such control character exists.
constexpr int ControlValue(int x, int y) {
    for (std::size_t i = 0; i < kControlCharacters.size(); ++i)
        if (kControlCharacters[i].x == x && kControlCharacters[i].y == y)
            return kControlBase + static_cast<int>(i);
    return -1;
}

// The value of a name such as "D21.5" or "k28.5"; -1 when it names no character.
constexpr int CharacterValue(std::string_view name) {
    if (name.size() < 4 || name.size() > 5) return -1;
    const char kind = name[0] == 'd' ? 'D' : name[0] == 'k' ? 'K' : name[0];
    if (kind != 'D' && kind != 'K') return -1;
    const std::size_t dot = name.find('.');
    if (dot < 2 || dot > 3 || dot + 2 != name.size()) return -1;
    int x = 0;
    for (std::size_t i = 1; i < dot; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        x = 10 * x + (name[i] - '0');
    }
    const char yc = name[dot + 1];
    if (yc < '0' || yc > '7' || x > 31) return -1;
    const int y = yc - '0';
    return kind == 'D' ? DataValue(x, y) : ControlValue(x, y);
}

class Encoder8b10b {
  public:
    explicit Encoder8b10b(bool startNegative = true) : negative_(startNegative) {}

    // Encodes one character at the current running disparity and moves the disparity on.
    // Throws std::out_of_range for a value outside 0-267.
    std::uint16_t Encode(int value);

    bool RunningDisparityNegative() const { return negative_; }
    void SetRunningDisparityNegative(bool negative) { negative_ = negative; }

    // The code of a character sent at the given running disparity (no state).
    static std::uint16_t CodeFor(int value, bool negative);
    // Number of ones minus number of zeros of a 10-bit code.
    static int CodeDisparity(std::uint16_t code);
    // The running disparity after sending a code at a given disparity: a balanced code
    // keeps it, an unbalanced one sets it from the code's own sign.
    static bool NegativeAfter(std::uint16_t code, bool negativeBefore);

    // "D21.5", "K28.5"; "?" for a value outside 0-267.
    static std::string Name(int value);
    static int ValueOfName(std::string_view name) { return CharacterValue(name); }
    // The 10 bits as text, first sent bit first.
    static std::string BitsText(std::uint16_t code);

  private:
    bool negative_;
};

}  // namespace kestrava::synth
