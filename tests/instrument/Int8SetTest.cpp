#include "instrument/Int8Set.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kestrava {
namespace {

// Sixteen samples at a time must give what one at a time gives.
void ExpectVectorTestAgrees(const Int8Set& set) {
#if defined(__SSE2__)
    for (int first = -128; first < 128; first += 16) {
        alignas(16) std::int8_t values[16];
        for (int j = 0; j < 16; ++j) values[j] = static_cast<std::int8_t>(first + j);
        alignas(16) std::int8_t inside[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(inside),
                        set.Contains(_mm_load_si128(reinterpret_cast<const __m128i*>(values))));
        for (int j = 0; j < 16; ++j)
            ASSERT_EQ(inside[j] != 0, set.Contains(values[j])) << "value " << first + j;
    }
#else
    (void)set;
#endif
}

TEST(Int8SetTest, RunsAtEitherEndAndInTheMiddleAreTestedSixteenAtATime) {
    struct Case {
        int low1, high1, low2, high2;  // a second run from low2 to high2, none when low2 > high2
    };
    for (Case c : {Case{-128, 127, 1, 0}, Case{-128, -128, 1, 0}, Case{127, 127, 1, 0},
                   Case{-128, 5, 1, 0}, Case{6, 127, 1, 0}, Case{-3, 40, 1, 0},
                   Case{-128, -20, 30, 127}, Case{-100, -99, 98, 99}, Case{0, 0, 2, 2}}) {
        SCOPED_TRACE(testing::Message()
                     << c.low1 << ".." << c.high1 << " " << c.low2 << ".." << c.high2);
        const Int8Set set = Int8Set::Of([&](std::int8_t v) {
            return (v >= c.low1 && v <= c.high1) || (v >= c.low2 && v <= c.high2);
        });
        EXPECT_TRUE(set.InRuns());
        for (int v = -128; v < 128; ++v)
            ASSERT_EQ(set.Contains(static_cast<std::int8_t>(v)),
                      (v >= c.low1 && v <= c.high1) || (v >= c.low2 && v <= c.high2));
        ExpectVectorTestAgrees(set);
    }
    const Int8Set empty = Int8Set::Of([](std::int8_t) { return false; });
    EXPECT_TRUE(empty.InRuns());
    ExpectVectorTestAgrees(empty);
}

TEST(Int8SetTest, ThreeRunsOrMoreAreTestedValueByValue) {
    const Int8Set odd = Int8Set::Of([](std::int8_t v) { return v % 2 != 0; });
    EXPECT_FALSE(odd.InRuns());
    EXPECT_TRUE(odd.Contains(3));
    EXPECT_FALSE(odd.Contains(-4));
    const Int8Set three =
        Int8Set::Of([](std::int8_t v) { return v == -128 || v == 0 || v == 127; });
    EXPECT_FALSE(three.InRuns());
    EXPECT_TRUE(three.Contains(127));
}

}  // namespace
}  // namespace kestrava
