#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "synth/Encoder8b10b.h"
#include "synth/SataCrc.h"
#include "synth/SataPrimitive.h"
#include "synth/SataScrambler.h"

namespace kestrava::synth {
namespace {

TEST(SataScramblerTest, GivesThePublishedSequenceAfterEveryReset) {
    SataScrambler scrambler;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(scrambler.Next(), 0xC2D2768Du);
        EXPECT_EQ(scrambler.Next(), 0x1F26B368u);
        EXPECT_EQ(scrambler.Next(), 0xA508436Cu);
        EXPECT_EQ(scrambler.Next(), 0x3452D354u);
        scrambler.Next();
        scrambler.Reset();
    }
}

TEST(SataScramblerTest, RepeatsAfterTheFullRegisterPeriod) {
    // The generator is primitive: the register runs through 65535 states, coprime to
    // 32, so the dwords repeat after 65535 of them. Each dword starts at a different
    // register state, so none repeats earlier.
    SataScrambler scrambler;
    const std::uint32_t first = scrambler.Next();
    const std::uint32_t second = scrambler.Next();
    std::set<std::uint32_t> seen{first, second};
    for (int i = 2; i < 65535; ++i) seen.insert(scrambler.Next());
    EXPECT_EQ(seen.size(), 65535u);
    EXPECT_EQ(scrambler.Next(), first);
    EXPECT_EQ(scrambler.Next(), second);
}

TEST(SataCrcTest, IsTheMsbFirstCrc32OfThePolynomial) {
    // The catalogued check value of this polynomial fed MSB first with no reflection
    // and no final inversion (preset all ones) over "123456789".
    SataCrc check(0xFFFFFFFF);
    for (char c : std::string("123456789")) check.AddByte(static_cast<std::uint8_t>(c));
    EXPECT_EQ(check.Value(), 0x0376E6E7u);
    // A dword goes in most significant byte first.
    SataCrc byDword(0xFFFFFFFF), byBytes(0xFFFFFFFF);
    byDword.AddDword(0x31323334);
    for (char c : std::string("1234")) byBytes.AddByte(static_cast<std::uint8_t>(c));
    EXPECT_EQ(byDword.Value(), byBytes.Value());
}

TEST(SataCrcTest, StartsFromTheSataPresetAndLeavesNoRemainderOverItself) {
    EXPECT_EQ(SataCrc().Value(), 0x52325032u);
    EXPECT_EQ(SataCrc::Of({}), 0x52325032u);
    const std::vector<std::vector<std::uint32_t>> frames{
        {0x00EC8027, 0xA0000000, 0, 0, 0},
        {0x00000046, 0x00000028, 0x00001000, 0x00000001},
        {0x00000039},
    };
    std::set<std::uint32_t> crcs;
    for (const auto& frame : frames) {
        const std::uint32_t crc = SataCrc::Of(frame);
        crcs.insert(crc);
        SataCrc again;
        for (std::uint32_t d : frame) again.AddDword(d);
        again.AddDword(crc);
        EXPECT_EQ(again.Value(), 0u);
        // One flipped bit anywhere changes the CRC.
        for (std::size_t d = 0; d < frame.size(); ++d) {
            for (int bit = 0; bit < 32; bit += 7) {
                auto bad = frame;
                bad[d] ^= 1u << bit;
                EXPECT_NE(SataCrc::Of(bad), crc);
            }
        }
    }
    EXPECT_EQ(crcs.size(), frames.size());
}

TEST(SataPrimitiveTest, DwordsAreThePublishedValues) {
    auto dword = [](const PrimitiveSpec& primitive) {
        std::uint32_t value = 0;
        for (int b = 0; b < 4; ++b) {
            const int c = primitive.characters[b];
            const std::uint32_t byte =
                c >= kControlBase ? kControlCharacters[c - kControlBase].byte : c;
            value |= byte << (8 * b);
        }
        return value;
    };
    const std::vector<std::pair<std::string, std::uint32_t>> published{
        {"ALIGN", 0x7B4A4ABC},   {"CONT", 0x9999AA7C},  {"DMAT", 0x3636B57C},
        {"EOF", 0xD5D5B57C},     {"HOLD", 0xD5D5AA7C},  {"HOLDA", 0x9595AA7C},
        {"PMACK", 0x9595957C},   {"PMNAK", 0xF5F5957C}, {"PMREQ_P", 0x1717B57C},
        {"PMREQ_S", 0x7575957C}, {"R_ERR", 0x5656B57C}, {"R_IP", 0x5555B57C},
        {"R_OK", 0x3535B57C},    {"R_RDY", 0x4A4A957C}, {"SOF", 0x3737B57C},
        {"SYNC", 0xB5B5957C},    {"WTRM", 0x5858B57C},  {"X_RDY", 0x5757B57C},
    };
    ASSERT_EQ(kPrimitives.size(), published.size());
    for (std::size_t i = 0; i < kPrimitives.size(); ++i) {
        EXPECT_EQ(kPrimitives[i].name, published[i].first);
        EXPECT_EQ(dword(kPrimitives[i]), published[i].second) << published[i].first;
        EXPECT_EQ(static_cast<std::size_t>(kPrimitives[i].kind), i);
        EXPECT_EQ(PrimitiveNamed(kPrimitives[i].name), kPrimitives[i].kind);
        for (int b = 1; b < 4; ++b) EXPECT_LT(kPrimitives[i].characters[b], kControlBase);
    }
    EXPECT_FALSE(PrimitiveNamed("NOPE").has_value());
    EXPECT_FALSE(PrimitiveNamed("sync").has_value());
}

}  // namespace
}  // namespace kestrava::synth
