#include "tools/kestrava-tablegen/CodeTableGenerator.h"

#include <array>
#include <bitset>
#include <cstdio>
#include <set>

namespace kestrava::tablegen {
namespace {

// 5b/6b sub-blocks abcdei sent at negative running disparity, indexed by x = EDCBA.
// The positive-disparity form is the complement for the unbalanced ones and for D.07.
constexpr std::array<int, 32> kSixBitRdMinus = {
    0b100111, 0b011101, 0b101101, 0b110001, 0b110101, 0b101001, 0b011001, 0b111000,
    0b111001, 0b100101, 0b010101, 0b110100, 0b001101, 0b101100, 0b011100, 0b010111,
    0b011011, 0b100011, 0b010011, 0b110010, 0b001011, 0b101010, 0b011010, 0b111010,
    0b110011, 0b100110, 0b010110, 0b110110, 0b001110, 0b101110, 0b011110, 0b101011};
constexpr int kSixBitK28RdMinus = 0b001111;

// 3b/4b sub-blocks fghj at negative running disparity, indexed by y = HGF. Data D.x.3 and
// unbalanced blocks are complemented at positive disparity; control blocks always are.
constexpr std::array<int, 8> kFourBitDataRdMinus = {0b1011, 0b1001, 0b0101, 0b1100,
                                                    0b1101, 0b1010, 0b0110, 0b1110};
constexpr int kFourBitAlternate7RdMinus = 0b0111;
constexpr std::array<int, 8> kFourBitControlRdMinus = {0b1011, 0b0110, 0b1010, 0b1100,
                                                       0b1101, 0b0101, 0b1001, 0b0111};

// Control characters in value order 0x100.. with their bytes.
constexpr std::array<int, 12> kControlBytes = {0x1C, 0x3C, 0x5C, 0x7C, 0x9C, 0xBC,
                                               0xDC, 0xFC, 0xF7, 0xFB, 0xFD, 0xFE};

int Ones(int bits) {
    return static_cast<int>(std::bitset<16>(static_cast<unsigned>(bits)).count());
}

// Disparity of a sub-block of the given width: ones minus zeros.
int Disparity(int bits, int width) {
    return 2 * Ones(bits) - width;
}

int SixBit(int x, bool control, bool rdMinus) {
    const int block =
        control && x == 28 ? kSixBitK28RdMinus : kSixBitRdMinus[static_cast<std::size_t>(x)];
    const bool complement = !rdMinus && (Disparity(block, 6) != 0 || x == 7);
    return complement ? (~block & 0x3F) : block;
}

// D.x.A7 avoids a run of five equal bits after 6b blocks ending in "11" (RD-) or "00" (RD+).
bool UsesAlternate7(int x, bool rdMinus) {
    if (rdMinus) return x == 17 || x == 18 || x == 20;
    return x == 11 || x == 13 || x == 14;
}

int FourBit(int x, int y, bool control, bool rdMinus) {
    if (control) {
        const int block = kFourBitControlRdMinus[static_cast<std::size_t>(y)];
        return rdMinus ? block : (~block & 0xF);
    }
    const int block = y == 7 && UsesAlternate7(x, rdMinus)
                          ? kFourBitAlternate7RdMinus
                          : kFourBitDataRdMinus[static_cast<std::size_t>(y)];
    const bool complement = !rdMinus && (Disparity(block, 4) != 0 || y == 3);
    return complement ? (~block & 0xF) : block;
}

// Running disparity after a 6b block that started at rdMinus.
bool AfterSixBit(int sixBit, bool rdMinus) {
    return Disparity(sixBit, 6) == 0 ? rdMinus : !rdMinus;
}

std::string CharacterName(int byte, bool control) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%d.%d", control ? 'K' : 'D', byte & 0x1F, byte >> 5);
    return text;
}

std::string Bits(int code) {
    std::string text(10, '0');
    for (int i = 0; i < 10; ++i)
        if (code & (1 << (9 - i))) text[static_cast<std::size_t>(i)] = '1';
    return text;
}

std::string Record(const std::string& name, int codeA, int codeB, int value) {
    char text[64];
    const int change = Disparity(codeA, 10) != 0 ? 1 : 0;
    std::snprintf(text, sizeof text, value < 256 ? "%s,%s,%s,%d,%02X\n" : "%s,%s,%s,%d,%X\n",
                  name.c_str(), Bits(codeA).c_str(), Bits(codeB).c_str(), change, value);
    return text;
}

}  // namespace

int EncodeCharacter(int byte, bool control, bool rdMinus) {
    const int x = byte & 0x1F;
    const int y = (byte >> 5) & 0x7;
    const int six = SixBit(x, control, rdMinus);
    const int four = FourBit(x, y, control, AfterSixBit(six, rdMinus));
    return (six << 4) | four;
}

std::vector<CodeCharacter> ValidCharacters() {
    std::vector<CodeCharacter> characters;
    for (int byte = 0; byte < 256; ++byte)
        characters.push_back({CharacterName(byte, false), byte, byte, false,
                              EncodeCharacter(byte, false, true),
                              EncodeCharacter(byte, false, false)});
    for (std::size_t k = 0; k < kControlBytes.size(); ++k) {
        const int byte = kControlBytes[k];
        characters.push_back({CharacterName(byte, true), 256 + static_cast<int>(k), byte, true,
                              EncodeCharacter(byte, true, true),
                              EncodeCharacter(byte, true, false)});
    }
    return characters;
}

std::vector<WrongDisparityCode> WrongDisparityCodes() {
    std::set<int> taken;
    for (const CodeCharacter& c : ValidCharacters()) {
        taken.insert(c.rdMinusCode);
        taken.insert(c.rdPlusCode);
    }
    // Control characters are left out: their rows would come before the control range
    // and answer the RD+/RD- code lookup of K characters with a wrong code.
    std::vector<WrongDisparityCode> codes;
    for (int byte = 0; byte < 256; ++byte) {
        const int x = byte & 0x1F;
        const int y = byte >> 5;
        for (bool rdMinus : {true, false}) {
            const int six = SixBit(x, false, rdMinus);
            const bool wrong = !AfterSixBit(six, rdMinus);
            const int code = (six << 4) | FourBit(x, y, false, wrong);
            if (taken.insert(code).second)
                codes.push_back({CharacterName(byte, false), byte, code});
        }
    }
    return codes;
}

std::string GenerateCodeTable() {
    const std::vector<CodeCharacter> characters = ValidCharacters();
    std::string out =
        "8b10b transmission code: name, RD- code, RD+ code, disparity change, value (hex)\n";
    out += "WORD_START\n";
    for (const CodeCharacter& c : characters)
        if (!c.control) out += Record(c.name, c.rdMinusCode, c.rdPlusCode, c.value);
    // Wrong-disparity codes sit below the control range so alignment scoring takes them
    // for data; each is one row sent "at both" disparities.
    out += "RD_ERROR_START\n";
    for (const WrongDisparityCode& w : WrongDisparityCodes())
        out += Record(w.name, w.code, w.code, w.value);
    out += "RD_ERROR_END\n";
    out += "CONTROL_WORD_START\n";
    for (const CodeCharacter& c : characters)
        if (c.control) out += Record(c.name, c.rdMinusCode, c.rdPlusCode, c.value);
    out += "CONTROL_WORD_END\n";
    out += "WORD_END\n";
    return out;
}

}  // namespace kestrava::tablegen
