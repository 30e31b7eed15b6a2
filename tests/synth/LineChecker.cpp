#include "tests/synth/LineChecker.h"

#include <array>

#include "synth/Encoder8b10b.h"
#include "synth/SataPrimitive.h"
#include "synth/SataScrambler.h"

namespace kestrava::synth::test {
namespace {

const std::array<ReadCharacter, 1024>& Table() {
    static const std::array<ReadCharacter, 1024> table = [] {
        std::array<ReadCharacter, 1024> t{};
        for (int v = 0; v < kCharacterCount; ++v) {
            const std::uint16_t neg = Encoder8b10b::CodeFor(v, true);
            const std::uint16_t pos = Encoder8b10b::CodeFor(v, false);
            t[neg] = {v, neg == pos ? 2 : 1};
            if (pos != neg) t[pos] = {v, 0};
        }
        return t;
    }();
    return table;
}

std::uint8_t ByteOf(int value) {
    return value >= kControlBase ? kControlCharacters[value - kControlBase].byte
                                 : static_cast<std::uint8_t>(value);
}

}  // namespace

ReadCharacter Read(std::uint16_t code) {
    return Table()[code & 0x3FF];
}
bool IsValidCode(std::uint16_t code) {
    return Read(code).value >= 0;
}

std::vector<int> DisparityErrors(const std::vector<SentCharacter>& characters) {
    std::vector<int> errors;
    std::optional<bool> negative;  // unknown until the first unbalanced code
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const std::uint16_t code = characters[i].code;
        const ReadCharacter r = Read(code);
        if (r.value < 0) continue;
        if (negative && r.column != 2 && (r.column == 1) != *negative)
            errors.push_back(static_cast<int>(i));
        const int d = Encoder8b10b::CodeDisparity(code);
        if (d != 0) negative = d < 0;
    }
    return errors;
}

std::optional<std::uint32_t> PrimitiveDwordAt(const std::vector<SentCharacter>& characters,
                                              std::size_t first) {
    if (first + 4 > characters.size()) return std::nullopt;
    const ReadCharacter lead = Read(characters[first].code);
    if (lead.value < kControlBase) return std::nullopt;
    std::uint32_t dword = 0;
    for (int b = 0; b < 4; ++b) {
        const ReadCharacter r = Read(characters[first + b].code);
        if (r.value < 0) return std::nullopt;
        dword |= static_cast<std::uint32_t>(ByteOf(r.value)) << (8 * b);
    }
    return dword;
}

std::vector<std::vector<std::uint32_t>> ReceiveFrames(
    const std::vector<SentCharacter>& characters) {
    constexpr std::uint32_t kSof = 0x3737B57C, kEof = 0xD5D5B57C, kCont = 0x9999AA7C,
                            kAlign = 0x7B4A4ABC;
    std::vector<std::vector<std::uint32_t>> frames;
    SataScrambler scrambler;
    bool inFrame = false;
    bool junk = false;  // after CONT, data carries nothing until the next primitive
    for (std::size_t c = 0; c + 4 <= characters.size(); c += 4) {
        if (const auto primitive = PrimitiveDwordAt(characters, c)) {
            if (*primitive == kAlign) continue;
            junk = *primitive == kCont;
            if (*primitive == kSof) {
                inFrame = true;
                scrambler.Reset();
                frames.emplace_back();
            } else if (*primitive == kEof) {
                inFrame = false;
            }
            continue;
        }
        if (!inFrame || junk) continue;
        std::uint32_t dword = 0;
        for (int b = 0; b < 4; ++b)
            dword |= static_cast<std::uint32_t>(Read(characters[c + b].code).value & 0xFF)
                     << (8 * b);
        frames.back().push_back(dword ^ scrambler.Next());
    }
    return frames;
}

}  // namespace kestrava::synth::test
