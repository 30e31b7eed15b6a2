#include "synth/Encoder8b10b.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace kestrava::synth {
namespace {

std::string Bits(std::uint16_t code) {
    return Encoder8b10b::BitsText(code);
}

int LongestRun(const std::string& bits) {
    int longest = 0, run = 0;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        run = (i > 0 && bits[i] == bits[i - 1]) ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

bool HasCommaAt(const std::string& bits, std::size_t at) {
    const std::string seven = bits.substr(at, 7);
    return seven == "0011111" || seven == "1100000";
}

struct Published {
    const char* name;
    const char* atNegative;  // abcdei fghj as sent at RD-
    const char* atPositive;
};

// From the published 8b/10b code tables.
constexpr Published kPublished[] = {
    {"K28.0", "0011110100", "1100001011"}, {"K28.1", "0011111001", "1100000110"},
    {"K28.2", "0011110101", "1100001010"}, {"K28.3", "0011110011", "1100001100"},
    {"K28.4", "0011110010", "1100001101"}, {"K28.5", "0011111010", "1100000101"},
    {"K28.6", "0011110110", "1100001001"}, {"K28.7", "0011111000", "1100000111"},
    {"K23.7", "1110101000", "0001010111"}, {"K27.7", "1101101000", "0010010111"},
    {"K29.7", "1011101000", "0100010111"}, {"K30.7", "0111101000", "1000010111"},
    {"D0.0", "1001110100", "0110001011"},  {"D1.0", "0111010100", "1000101011"},
    {"D3.0", "1100011011", "1100010100"},  {"D3.1", "1100011001", "1100011001"},
    {"D4.0", "1101010100", "0010101011"},  {"D7.0", "1110001011", "0001110100"},
    {"D7.7", "1110001110", "0001110001"},  {"D10.2", "0101010101", "0101010101"},
    {"D11.7", "1101001110", "1101001000"}, {"D14.7", "0111001110", "0111001000"},
    {"D16.7", "0110110001", "1001001110"}, {"D17.7", "1000110111", "1000110001"},
    {"D20.7", "0010110111", "0010110001"}, {"D21.5", "1010101010", "1010101010"},
    {"D23.7", "1110100001", "0001011110"}, {"D24.0", "1100110100", "0011001011"},
    {"D27.3", "1101100011", "0010011100"}, {"D28.0", "0011101011", "0011100100"},
    {"D30.7", "0111100001", "1000011110"}, {"D31.7", "1010110001", "0101001110"},
};

TEST(Encoder8b10bTest, MatchesThePublishedCodes) {
    for (const Published& p : kPublished) {
        const int value = Encoder8b10b::ValueOfName(p.name);
        ASSERT_GE(value, 0) << p.name;
        EXPECT_EQ(Bits(Encoder8b10b::CodeFor(value, true)), p.atNegative) << p.name;
        EXPECT_EQ(Bits(Encoder8b10b::CodeFor(value, false)), p.atPositive) << p.name;
    }
}

TEST(Encoder8b10bTest, AlignFromEitherDisparityGivesTheTriggerRows) {
    const int align[] = {ControlValue(28, 5), DataValue(10, 2), DataValue(10, 2), DataValue(27, 3)};
    Encoder8b10b fromPositive(false), fromNegative(true);
    std::string plus, minus;
    for (int v : align) {
        plus += Bits(fromPositive.Encode(v));
        minus += Bits(fromNegative.Encode(v));
    }
    EXPECT_EQ(plus, "1100000101010101010101010101011101100011");
    EXPECT_EQ(minus, "0011111010010101010101010101010010011100");
    // Four characters with one unbalanced pair each way: back where they started.
    EXPECT_FALSE(fromPositive.RunningDisparityNegative());
    EXPECT_TRUE(fromNegative.RunningDisparityNegative());
}

TEST(Encoder8b10bTest, EveryCharacterAtBothDisparitiesKeepsTheCodeRules) {
    std::map<std::uint16_t, int> owner;
    for (int value = 0; value < kCharacterCount; ++value) {
        for (bool negative : {true, false}) {
            const std::uint16_t code = Encoder8b10b::CodeFor(value, negative);
            const std::string bits = Bits(code);
            const std::string name = Encoder8b10b::Name(value) + (negative ? " RD-" : " RD+");
            ASSERT_LT(code, 1024) << name;
            const int disparity = Encoder8b10b::CodeDisparity(code);
            // At RD- a code never takes ones away, at RD+ never adds them.
            EXPECT_TRUE(negative ? (disparity == 0 || disparity == 2)
                                 : (disparity == 0 || disparity == -2))
                << name;
            const int sixDisparity =
                Encoder8b10b::CodeDisparity(code >> 4) + 4;  // six bits: ones - zeros
            EXPECT_TRUE(sixDisparity == 0 || sixDisparity == 2 || sixDisparity == -2) << name;
            EXPECT_LE(LongestRun(bits), 5) << name;
            bool comma = false;
            for (std::size_t at = 0; at + 7 <= 10; ++at) comma = comma || HasCommaAt(bits, at);
            const bool commaCharacter = value == ControlValue(28, 1) ||
                                        value == ControlValue(28, 5) ||
                                        value == ControlValue(28, 7);
            EXPECT_EQ(comma, commaCharacter) << name;
            if (commaCharacter) {
                EXPECT_TRUE(HasCommaAt(bits, 0)) << name;
            }
            // Decodable: no code stands for two characters.
            auto [it, inserted] = owner.emplace(code, value);
            EXPECT_TRUE(inserted || it->second == value) << name << " shares " << bits;
        }
        // The two codes of a character have opposite disparities.
        const std::uint16_t neg = Encoder8b10b::CodeFor(value, true);
        const std::uint16_t pos = Encoder8b10b::CodeFor(value, false);
        EXPECT_EQ(Encoder8b10b::CodeDisparity(pos), -Encoder8b10b::CodeDisparity(neg))
            << Encoder8b10b::Name(value);
    }
}

TEST(Encoder8b10bTest, AnyTwoCharactersInARowKeepRunsShortAndDataHasNoComma) {
    for (int first = 0; first < kCharacterCount; ++first) {
        for (bool negative : {true, false}) {
            Encoder8b10b encoder(negative);
            const std::string a = Bits(encoder.Encode(first));
            const bool after = encoder.RunningDisparityNegative();
            for (int second = 0; second < kCharacterCount; ++second) {
                const std::string pair = a + Bits(Encoder8b10b::CodeFor(second, after));
                ASSERT_LE(LongestRun(pair), 5)
                    << Encoder8b10b::Name(first) << " " << Encoder8b10b::Name(second);
                if (first < kControlBase && second < kControlBase) {
                    for (std::size_t at = 1; at < 10; ++at)
                        ASSERT_FALSE(HasCommaAt(pair, at))
                            << Encoder8b10b::Name(first) << " " << Encoder8b10b::Name(second)
                            << " at " << at;
                }
            }
        }
    }
}

TEST(Encoder8b10bTest, RunningDisparityStaysWithinOneOverALongStream) {
    std::mt19937 random(7);
    Encoder8b10b encoder;
    int sum = -1;  // running digital sum, starting at RD-
    for (int i = 0; i < 20000; ++i) {
        const int value = static_cast<int>(random() % kCharacterCount);
        const std::uint16_t code = encoder.Encode(value);
        sum += Encoder8b10b::CodeDisparity(code);
        ASSERT_TRUE(sum == -1 || sum == 1) << "after " << Encoder8b10b::Name(value);
        ASSERT_EQ(encoder.RunningDisparityNegative(), sum < 0);
    }
}

TEST(Encoder8b10bTest, NamesAndValuesRoundTrip) {
    for (int value = 0; value < kCharacterCount; ++value)
        EXPECT_EQ(Encoder8b10b::ValueOfName(Encoder8b10b::Name(value)), value);
    EXPECT_EQ(Encoder8b10b::Name(ControlValue(28, 5)), "K28.5");
    EXPECT_EQ(Encoder8b10b::Name(ControlValue(30, 7)), "K30.7");
    EXPECT_EQ(Encoder8b10b::Name(DataValue(21, 5)), "D21.5");
    EXPECT_EQ(Encoder8b10b::ValueOfName("k28.5"), 261);
    EXPECT_EQ(Encoder8b10b::ValueOfName("K23.7"), 264);
    for (const char* bad :
         {"", "D32.0", "D1.8", "K28.8", "K21.0", "X1.1", "D1", "D1.1x", "D.1", "D-1.1"})
        EXPECT_EQ(Encoder8b10b::ValueOfName(bad), -1) << bad;
    EXPECT_EQ(Encoder8b10b::Name(268), "?");
    EXPECT_THROW(Encoder8b10b::CodeFor(268, true), std::out_of_range);
    EXPECT_THROW(Encoder8b10b::CodeFor(-1, false), std::out_of_range);
}

}  // namespace
}  // namespace kestrava::synth
