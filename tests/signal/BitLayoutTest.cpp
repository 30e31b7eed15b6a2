#include "signal/BitLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kestrava {
namespace {

TEST(NearestIntegerTest, RoundsUpOnlyPastOneHalfAndTruncatesNegatives) {
    EXPECT_EQ(NearestInteger(2.0), 2);
    EXPECT_EQ(NearestInteger(2.5), 2);
    EXPECT_EQ(NearestInteger(2.5000001), 3);
    EXPECT_EQ(NearestInteger(2.49), 2);
    EXPECT_EQ(NearestInteger(-2.7), -2);
    EXPECT_EQ(NearestInteger(std::nan("")), 0);
    EXPECT_EQ(NearestInteger(1e300), std::numeric_limits<std::int32_t>::max());
}

BitStream Sized(std::int32_t bitCount) {
    BitStream bits;
    bits.bitCount = bitCount;
    bits.bits.assign(static_cast<std::size_t>(bitCount) + 4, 0);
    bits.bitPositions.assign(static_cast<std::size_t>(bitCount) + 4, 0);
    return bits;
}

TEST(BitFillTest, CentresBitsEvenlyAndStoresOneBasedPositions) {
    BitStream bits = Sized(10);
    std::int32_t cursor = 0;
    BitFill(60, 100, 3, 1, cursor, bits);
    EXPECT_EQ(cursor, 3);
    EXPECT_EQ(bits.bitPositions[0], 111);
    EXPECT_EQ(bits.bitPositions[1], 131);
    EXPECT_EQ(bits.bitPositions[2], 151);
    EXPECT_EQ(bits.bits[2], 1);
    // Odd samples per bit: centres at x.5 stay down.
    BitFill(34, 160, 2, -1, cursor, bits);
    EXPECT_EQ(bits.bitPositions[3], 169);
    EXPECT_EQ(bits.bitPositions[4], 186);
    EXPECT_EQ(bits.bits[4], -1);
}

TEST(BitFillTest, NeverWritesPastTheBitCount) {
    BitStream bits = Sized(4);
    std::int32_t cursor = 2;
    BitFill(100, 0, 10, -1, cursor, bits);
    EXPECT_EQ(cursor, 4);
    EXPECT_EQ(bits.bits[4], 0);
    BitFill(100, 0, std::int64_t{1} << 40, -1, cursor, bits);
    EXPECT_EQ(cursor, 4);
}

TEST(BitFillTest, KeepsWholeSamplesBeyondSixteenMillionPoints) {
    BitStream bits = Sized(2);
    std::int32_t cursor = 0;
    BitFill(41, 20'000'001, 2, 1, cursor, bits);
    EXPECT_EQ(bits.bitPositions[0], 20'000'012);
    EXPECT_EQ(bits.bitPositions[1], 20'000'032);
}

// Whole positions counted in integers where they fit must be the positions of the
// rounded centres, at the edges of that range too: negative and huge starts, spans
// beyond 2^24 samples per bit, negative spans and sums near the 32-bit limit.
TEST(BitFillTest, PositionsMatchTheRoundedCentresForAnySpanAndStart) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    auto centre = [kMax](std::int32_t span, std::int32_t start, std::int64_t n, std::int64_t i) {
        const double step = static_cast<float>(static_cast<std::int64_t>(span) / n);
        const std::int32_t c = NearestInteger(start + step / 2.0 + static_cast<double>(i) * step);
        return c < kMax ? c + 1 : c;
    };
    for (std::int32_t span : {0, 1, 7, 20, 21, 1 << 24, (1 << 24) + 3, kMax, -40, -kMax - 1})
        for (std::int32_t start : {0, 1, 1000, -5, -1000, kMax - 100, kMax - 20, kMax})
            for (std::int64_t n : {1, 2, 3, 7}) {
                BitStream bits = Sized(8);
                std::int32_t cursor = 0;
                BitFill(span, start, n, 1, cursor, bits);
                for (std::int64_t i = 0; i < n; ++i)
                    EXPECT_EQ(bits.bitPositions[static_cast<std::size_t>(i)],
                              centre(span, start, n, i))
                        << "span " << span << " start " << start << " n " << n << " bit " << i;
            }
}

// Crossings of a record sampled at one point per nanosecond.
struct Edges {
    std::vector<double> risingPositions, fallingPositions;
    EdgeTimeBase timeBase{1e-9};
    EdgeLists Lists() const { return {risingPositions, fallingPositions, timeBase}; }
};

Edges At(std::vector<double> rising, std::vector<double> falling) {
    return {rising, falling};
}

constexpr float kOneBitPerTenNs = 1e8f;

TEST(LayOutBitsTest, EqualCountsFirstRisingAlternateHighAndLow) {
    Edges e = At({9.5, 49.5}, {29.5, 79.5});
    BitStream bits;
    ASSERT_TRUE(LayOutBits(e.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 7);
    std::vector<std::int8_t> expected{1, 1, -1, -1, 1, 1, 1};
    EXPECT_EQ(std::vector<std::int8_t>(bits.bits.begin(), bits.bits.begin() + 7), expected);
    EXPECT_EQ(bits.bitPositions[0], 16);  // merged positions 10, 30: s = 10, centre 15, stored 16
    EXPECT_EQ(bits.bitPositions[2], 36);
    // 0.87255125 x 100 samples / 4 edges.
    EXPECT_EQ(bits.samplesPerBit, 22);
}

TEST(LayOutBitsTest, OneMoreFallingThanRisingFirstFallingUsesEveryEdge) {
    Edges e = At({29.5, 59.5}, {9.5, 49.5, 69.5});
    BitStream bits;
    ASSERT_TRUE(LayOutBits(e.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 6);
    // Four intervals: low 2, high 2, low 1, high 1.
    std::vector<std::int8_t> expected{-1, -1, 1, 1, -1, 1};
    EXPECT_EQ(std::vector<std::int8_t>(bits.bits.begin(), bits.bits.begin() + 6), expected);
    EXPECT_EQ(bits.bitPositions[5], 66);
}

TEST(LayOutBitsTest, CountsDifferingByTwoOrAnEmptyListLeaveTheStreamAlone) {
    BitStream bits;
    bits.bitCount = 1;
    bits.bits = {1, 0, 0, 0, 0};
    bits.bitPositions = {7, 0, 0, 0, 0};
    const BitStream before = bits;
    EXPECT_FALSE(LayOutBits(At({10, 30, 50}, {20}).Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_FALSE(LayOutBits(At({10}, {}).Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_FALSE(LayOutBits(At({}, {}).Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bits, before.bits);
    EXPECT_EQ(bits.bitPositions, before.bitPositions);
    EXPECT_EQ(bits.bitCount, 1);
    EXPECT_EQ(bits.samplesPerBit, 1);
}

TEST(LayOutBitsTest, AnIntervalShorterThanHalfABitAddsNoBitsButStillBoundsItsNeighbours) {
    // 10 ns high, 4 ns low (0.4 bit), 20 ns high.
    Edges e = At({0, 14}, {10, 34});
    BitStream bits;
    ASSERT_TRUE(LayOutBits(e.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 3);
    std::vector<std::int8_t> expected{1, 1, 1};
    EXPECT_EQ(std::vector<std::int8_t>(bits.bits.begin(), bits.bits.begin() + 3), expected);
    EXPECT_EQ(bits.bitPositions[1], 14 + 5 + 1);
}

TEST(LayOutBitsTest, BitsBeyondTheBitCountAreDropped) {
    // Intervals of 1.6 and 1.6 bits round to 2 + 2, but the span holds 3.2 bits.
    Edges e = At({0, 32}, {16});
    BitStream bits;
    ASSERT_TRUE(LayOutBits(e.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 3);
    std::vector<std::int8_t> expected{1, 1, -1, 0};
    EXPECT_EQ(std::vector<std::int8_t>(bits.bits.begin(), bits.bits.begin() + 4), expected);
}

TEST(LayOutBitsTest, AnAbsurdTimeBaseCannotAskForMoreBitsThanSamples) {
    Edges e = At({0, 40}, {20});
    e.timeBase.intervalS = 1e3;
    BitStream bits;
    ASSERT_TRUE(LayOutBits(e.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 100);
    EXPECT_EQ(bits.bits.size(), 104u);

    // Times that run backwards give no bits at all.
    Edges back = At({0, 40}, {20});
    back.timeBase.intervalS = -1e-9;
    ASSERT_TRUE(LayOutBits(back.Lists(), kOneBitPerTenNs, 100, bits));
    EXPECT_EQ(bits.bitCount, 0);
}

TEST(DecodeTimeEstimateTest, SeventeenSecondsPlusAboutATenthOfAMillisecondPerEdge) {
    EXPECT_EQ(DecodeTimeEstimateS(0), 17);
    EXPECT_EQ(DecodeTimeEstimateS(10'000), 18);
    EXPECT_EQ(DecodeTimeEstimateS(300'000), 56);
}

}  // namespace
}  // namespace kestrava
