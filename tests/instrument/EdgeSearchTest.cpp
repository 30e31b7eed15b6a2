#include "instrument/EdgeSearchEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "base/Workers.h"

namespace kestrava {
namespace {

class EdgeSearchTest : public ::testing::Test {
  protected:
    const EdgeSearch& RunOne(const std::vector<float>& data, float level, float hysteresis,
                             int kind, double startOffset = 0.0) {
        engine.Clear();
        EXPECT_TRUE(engine.AddSearch(level, hysteresis, kind, "S"));
        engine.Run(data, startOffset, {});
        return *engine.Find("S");
    }
    EdgeSearchEngine engine;
};

TEST_F(EdgeSearchTest, InterpolatesTheCrossingOfTheLevel) {
    const EdgeSearch& s = RunOne({0, 0, 1, 1}, 0.5f, 0.1f, kEdgeRising);
    ASSERT_EQ(s.rising.size(), 1u);
    EXPECT_DOUBLE_EQ(s.rising[0], 1.5);
    EXPECT_FALSE(s.hasFalling);
    EXPECT_TRUE(s.falling.empty());
    EXPECT_EQ(s.state, kSearchAbove);

    // A quarter of the way between samples 3 and 4; the start offset is added.
    const EdgeSearch& t = RunOne({1, 1, 1, 1, 0, 0}, 0.75f, 0.1f, kEdgeFalling, 100.0);
    ASSERT_EQ(t.falling.size(), 1u);
    EXPECT_DOUBLE_EQ(t.falling[0], 103.25);
    EXPECT_FALSE(t.hasRising);
}

TEST_F(EdgeSearchTest, ConfirmsOnlyBeyondTheBandAndKeepsTheFirstReachOfTheLevel) {
    // Reaches the level at 1.5, lingers inside the band, leaves it at sample 4.
    const EdgeSearch& s = RunOne({0, 0, 0.55f, 0.58f, 0.52f, 1, 1}, 0.5f, 0.1f, kEdgeRising);
    ASSERT_EQ(s.rising.size(), 1u);
    EXPECT_NEAR(s.rising[0], 1.0 + 0.5 / 0.55, 1e-6);
}

TEST_F(EdgeSearchTest, AReturnBelowTheBandDiscardsThePendingCrossing) {
    // First approach: reaches the level, falls back below level - hysteresis.
    // The second approach crosses at 4.5 and leaves the band.
    const EdgeSearch& s = RunOne({0, 0.55f, 0.3f, 0.2f, 0, 1, 1}, 0.5f, 0.1f, kEdgeRising);
    ASSERT_EQ(s.rising.size(), 1u);
    EXPECT_DOUBLE_EQ(s.rising[0], 4.5);
}

TEST_F(EdgeSearchTest, ADipInsideTheBandKeepsThePendingCrossing) {
    // Falls to 0.45 (below the level, still inside the band) before leaving: the first
    // reach of the level stands.
    const EdgeSearch& s = RunOne({0, 0.6f, 0.45f, 1}, 0.5f, 0.2f, kEdgeRising);
    ASSERT_EQ(s.rising.size(), 1u);
    EXPECT_NEAR(s.rising[0], 0.5 / 0.6, 1e-6);
}

TEST_F(EdgeSearchTest, StayingBetweenLevelAndBandLeavesOnePendingCrossing) {
    const EdgeSearch& s = RunOne({0, 0.55f, 0.58f, 0.52f, 0.59f}, 0.5f, 0.1f, kEdgeBoth);
    EXPECT_TRUE(s.rising.empty());
    EXPECT_TRUE(s.falling.empty());
    EXPECT_TRUE(s.pending);
    EXPECT_EQ(s.state, kSearchBelow);
}

TEST_F(EdgeSearchTest, BothKindFillsBothListsAlternately) {
    std::vector<float> square;
    for (int period = 0; period < 5; ++period)
        for (int i = 0; i < 20; ++i) square.push_back(i < 10 ? -1.0f : 1.0f);
    const EdgeSearch& s = RunOne(square, 0.0f, 0.2f, kEdgeBoth);
    ASSERT_EQ(s.rising.size(), 5u);
    ASSERT_EQ(s.falling.size(), 4u);
    for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(s.rising[k], 20.0 * k + 9.5);
    for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(s.falling[k], 20.0 * k + 19.5);
}

TEST_F(EdgeSearchTest, SamplesExactlyOnTheLevelAndFlatRuns) {
    // The first sample on the level starts below and notes a crossing at i - 0.5 when the
    // previous value equals it.
    const EdgeSearch& s = RunOne({0.5f, 0.5f, 1}, 0.5f, 0.1f, kEdgeRising);
    ASSERT_EQ(s.rising.size(), 1u);
    EXPECT_DOUBLE_EQ(s.rising[0], -0.5);
    // Above, a sample equal to the level counts as reaching it from above.
    const EdgeSearch& t = RunOne({1, 0.5f, 0}, 0.5f, 0.1f, kEdgeFalling);
    ASSERT_EQ(t.falling.size(), 1u);
    EXPECT_DOUBLE_EQ(t.falling[0], 1.0);
    // A flat record has no crossing.
    const EdgeSearch& u = RunOne(std::vector<float>(1000, 0.2f), 0.5f, 0.1f, kEdgeBoth);
    EXPECT_TRUE(u.rising.empty());
    EXPECT_TRUE(u.falling.empty());
}

TEST_F(EdgeSearchTest, SearchesRunIndependentlyAndTheFirstOfANameAnswers) {
    engine.AddSearch(0.5f, 0.1f, kEdgeRising, "X");
    engine.AddSearch(0.2f, 0.1f, kEdgeRising, "X");
    engine.AddSearch(0.5f, 0.1f, kEdgeFalling, "Y");
    EXPECT_FALSE(engine.AddSearch(0.5f, 0.1f, 3, "Z"));
    EXPECT_EQ(engine.SearchCount(), 3u);
    engine.Run(std::vector<float>{0, 1, 0}, 0.0, {});
    EXPECT_DOUBLE_EQ(engine.Find("X")->rising[0], 0.5);
    EXPECT_DOUBLE_EQ(engine.Find("Y")->falling[0], 1.5);
    EXPECT_EQ(engine.Find("Z"), nullptr);
    // A second run starts afresh.
    engine.Run(std::vector<float>{1, 1}, 0.0, {});
    EXPECT_TRUE(engine.Find("X")->rising.empty());
    engine.Run(std::vector<float>{}, 0.0, {});
    EXPECT_TRUE(engine.Find("Y")->falling.empty());
}

// A NaN level or band equals nothing, not even itself: such a search still runs in a
// band of its own, and finds no edge it cannot confirm.
TEST_F(EdgeSearchTest, ANaNLevelOrBandRunsAloneAndConfirmsNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> data = {0, 0, 1, 1, 0, 0, 1, 1};
    engine.AddSearch(nan, 0.1f, kEdgeBoth, "NaN level");
    engine.AddSearch(0.5f, nan, kEdgeRising, "NaN band");
    engine.AddSearch(0.5f, 0.1f, kEdgeRising, "Plain");
    engine.Run(data, 0.0, {});
    const EdgeSearch& level = *engine.Find("NaN level");
    EXPECT_TRUE(level.rising.empty());
    EXPECT_TRUE(level.falling.empty());
    EXPECT_EQ(level.state, kSearchAbove);  // no sample is at or below NaN
    const EdgeSearch& band = *engine.Find("NaN band");
    EXPECT_TRUE(band.rising.empty());
    EXPECT_TRUE(band.pending);  // the level was reached, the band never left
    EXPECT_DOUBLE_EQ(band.crossing, 1.5);
    EXPECT_EQ(engine.Find("Plain")->rising.size(), 2u);
}

TEST_F(EdgeSearchTest, TimesAddBothOffsetsToThePositionTimesTheInterval) {
    engine.Run(std::vector<float>{}, 0.0, {1e-9, -5e-6, 0.0});
    std::vector<double> positions{5000.5, 0.0};
    std::vector<double> times = engine.Times(positions);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_NEAR(times[0], 0.5e-9, 1e-18);
    EXPECT_DOUBLE_EQ(times[1], -5e-6);
}

// The crossing rule fed one sample at a time, as plainly as it can be written.
struct ReferenceSearch {
    float level;
    double upper, lower;
    std::vector<double> rising, falling;
    int state = 0;
    bool pending = false;

    void Run(const std::vector<float>& data) {
        state = data[0] <= level ? 1 : 0;
        pending = false;
        double crossing = 0.0, previous = data[0];
        for (std::size_t i = 0; i < data.size(); ++i) {
            const float x = data[i];
            auto note = [&] {
                crossing = x != previous
                               ? (static_cast<double>(i) - 1) + (level - previous) / (x - previous)
                               : static_cast<double>(i) - 0.5;
                pending = true;
            };
            if (state == 1) {
                if (x < level) {
                    if (x <= lower) pending = false;
                } else {
                    if (!pending) note();
                    if (x > upper) {
                        pending = false;
                        state = 0;
                        rising.push_back(crossing);
                    }
                }
            } else {
                if (x <= level) {
                    if (!pending) note();
                    if (x <= lower) {
                        pending = false;
                        state = 1;
                        falling.push_back(crossing);
                    }
                } else if (x >= upper) {
                    pending = false;
                }
            }
            previous = x;
        }
    }
};

// Equal lists, where a crossing interpolated from a NaN sample is NaN in both.
bool SameCrossings(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
}

TEST_F(EdgeSearchTest, MatchesTheSampleBySampleRuleOnNoisySignals) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.15f);
    for (int trial = 0; trial < 40; ++trial) {
        // Slow square waves with noise around the band, runs of equal samples, values
        // exactly on the level and the odd NaN.
        std::vector<float> data(5000 + trial * 37);
        for (std::size_t i = 0; i < data.size(); ++i) {
            float value = ((i / (7 + trial % 13)) % 2 ? 0.5f : -0.5f) + noise(random);
            if (random() % 50 == 0) value = 0.0f;
            if (random() % 97 == 0 && i > 0) value = data[i - 1];
            if (trial % 5 == 4 && random() % 400 == 0)
                value = std::numeric_limits<float>::quiet_NaN();
            data[i] = value;
        }
        engine.Clear();
        engine.AddSearch(0.0f, 0.2f, kEdgeRising, "RisingEdge");
        engine.AddSearch(0.0f, 0.2f, kEdgeFalling, "FallingEdge");
        engine.AddSearch(0.1f, 0.05f, kEdgeBoth, "Other");
        engine.Run(data, 3.0, {});
        for (auto [name, level, hysteresis] :
             {std::tuple{"RisingEdge", 0.0f, 0.2f}, std::tuple{"FallingEdge", 0.0f, 0.2f},
              std::tuple{"Other", 0.1f, 0.05f}}) {
            ReferenceSearch reference{level,
                                      static_cast<double>(level) + hysteresis,
                                      static_cast<double>(level) - hysteresis,
                                      {},
                                      {}};
            reference.Run(data);
            for (double& p : reference.rising) p += 3.0;
            for (double& p : reference.falling) p += 3.0;
            const EdgeSearch* search = engine.Find(name);
            SCOPED_TRACE(testing::Message() << "trial " << trial << " " << name);
            ASSERT_FALSE(reference.rising.empty());
            if (search->hasRising) {
                EXPECT_TRUE(SameCrossings(search->rising, reference.rising));
            }
            if (search->hasFalling) {
                EXPECT_TRUE(SameCrossings(search->falling, reference.falling));
            }
        }
    }
}

// Samples on, and one float either side of, the level and both band edges, where the
// band edges are doubles that no float equals: each comparison must come out as the
// double comparison does, whatever the hysteresis sign.
TEST_F(EdgeSearchTest, MatchesTheSampleBySampleRuleAtTheBandEdges) {
    std::mt19937 random(11);
    for (float hysteresis : {0.3f, 0.0f, -0.3f, 1e-9f}) {
        const float level = 0.1f;
        const double upper = static_cast<double>(level) + hysteresis;
        const double lower = static_cast<double>(level) - hysteresis;
        std::vector<float> values;
        for (double edge : {static_cast<double>(level), upper, lower}) {
            const float near = static_cast<float>(edge);
            for (float v : {std::nextafter(near, -1.0f), near, std::nextafter(near, 1.0f)})
                values.push_back(v);
        }
        values.push_back(std::numeric_limits<float>::quiet_NaN());
        values.push_back(-1.0f);
        values.push_back(1.0f);
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<float> data(4000 + trial);
            for (float& v : data) v = values[random() % values.size()];
            engine.Clear();
            engine.AddSearch(level, hysteresis, kEdgeBoth, "S");
            engine.Run(data, 0.0, {});
            ReferenceSearch reference{level, upper, lower, {}, {}};
            reference.Run(data);
            const EdgeSearch& search = *engine.Find("S");
            SCOPED_TRACE(testing::Message() << "hysteresis " << hysteresis << " trial " << trial);
            EXPECT_TRUE(SameCrossings(search.rising, reference.rising));
            EXPECT_TRUE(SameCrossings(search.falling, reference.falling));
            EXPECT_EQ(search.state, reference.state == 1 ? kSearchBelow : kSearchAbove);
            EXPECT_EQ(search.pending, reference.pending);
        }
    }
}

// 8-bit samples searched through their values' volts find what a search of the same
// volts as floats finds: with volts rising or falling with the value (sixteen samples at
// a time) and with volts in no order, NaN among them (one at a time).
TEST_F(EdgeSearchTest, EightBitSamplesFindTheCrossingsOfTheirVolts) {
    std::mt19937 random(3);
    std::array<float, 256> rising{}, falling{}, shuffled{};
    for (int v = -128; v < 128; ++v) {
        const auto index = static_cast<std::uint8_t>(v);
        rising[index] = static_cast<float>(v * 0.01 + 0.003);
        falling[index] = static_cast<float>(-v * 0.0075);
        shuffled[index] = static_cast<float>(static_cast<int>(random() % 200) - 100) * 0.01f;
    }
    shuffled[7] = std::numeric_limits<float>::quiet_NaN();
    struct Band {
        float level, hysteresis;
    };
    for (const std::array<float, 256>* volts : {&rising, &falling, &shuffled}) {
        for (Band band : {Band{0.0f, 0.2f}, Band{(*volts)[20], 0.0f}, Band{0.13f, -0.05f},
                          Band{(*volts)[200], 0.31f}}) {
            std::vector<std::int8_t> samples(30000);
            int plateau = 60;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                if (i % 23 == 0) plateau = -plateau;
                const int noise = static_cast<int>(random() % 41) - 20;
                samples[i] = static_cast<std::int8_t>(
                    random() % 50 == 0 ? static_cast<int>(random() % 256) - 128 : plateau + noise);
            }
            std::vector<float> floats(samples.size());
            for (std::size_t i = 0; i < samples.size(); ++i)
                floats[i] = (*volts)[static_cast<std::uint8_t>(samples[i])];
            EdgeSearchEngine eight;
            for (EdgeSearchEngine* e : {&engine, &eight}) {
                e->Clear();
                e->AddSearch(band.level, band.hysteresis, kEdgeBoth, "Both");
                e->AddSearch(band.level, band.hysteresis, kEdgeRising, "Rising");
                e->AddSearch(band.level + 0.05f, band.hysteresis, kEdgeFalling, "Other");
            }
            engine.Run(floats, 7.0, {});
            eight.RunInt8(samples, *volts, 7.0, {});
            for (const char* name : {"Both", "Rising", "Other"}) {
                SCOPED_TRACE(testing::Message() << "level " << band.level << " " << name);
                const EdgeSearch& want = *engine.Find(name);
                const EdgeSearch& got = *eight.Find(name);
                EXPECT_TRUE(SameCrossings(got.rising, want.rising));
                EXPECT_TRUE(SameCrossings(got.falling, want.falling));
                EXPECT_EQ(got.state, want.state);
                EXPECT_EQ(got.pending, want.pending);
                EXPECT_TRUE(
                    SameCrossings({got.crossing, got.previous}, {want.crossing, want.previous}));
            }
            EXPECT_FALSE(engine.Find("Both")->rising.empty());
        }
    }
}

// The searches run block by block on the workers. Wherever the blocks are cut (on an edge,
// inside a pending crossing, in a silence that spans whole blocks, on a NaN) and however
// many workers share them, the crossings and the end state are those of one pass.
TEST_F(EdgeSearchTest, EveryBlockSizeAndWorkerCountFindsWhatOnePassFinds) {
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.12f);
    std::vector<float> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::size_t phase = i % 600;
        if (phase >= 400 && phase < 520) {
            data[i] = 0.05f;  // silence inside the band: no decisive sample for blocks on end
        } else if (phase >= 520) {
            data[i] = -0.5f + static_cast<float>(phase - 520) * 0.0125f;  // a slow edge, pending
        } else {
            data[i] = ((i / 11) % 2 ? 0.5f : -0.5f) + noise(random);
            if (random() % 60 == 0) data[i] = 0.0f;
            if (random() % 700 == 0) data[i] = std::numeric_limits<float>::quiet_NaN();
        }
    }
    std::vector<std::int8_t> samples(data.size());
    std::array<float, 256> volts{};
    for (int v = -128; v < 128; ++v) volts[static_cast<std::uint8_t>(v)] = v / 100.0f;
    for (std::size_t i = 0; i < data.size(); ++i)
        samples[i] = static_cast<std::int8_t>(
            std::isnan(data[i]) ? 0 : std::clamp(std::lround(data[i] * 100.0f), -128L, 127L));

    auto search = [&](bool eightBit) {
        engine.Clear();
        engine.AddSearch(0.0f, 0.2f, kEdgeRising, "RisingEdge");
        engine.AddSearch(0.0f, 0.2f, kEdgeFalling, "FallingEdge");
        engine.AddSearch(0.05f, 0.0f, kEdgeBoth, "Other");
        if (eightBit)
            engine.RunInt8(samples, volts, 2.0, {});
        else
            engine.Run(data, 2.0, {});
        std::vector<std::tuple<std::vector<double>, std::vector<double>, int, bool, double>> found;
        for (const char* name : {"RisingEdge", "FallingEdge", "Other"}) {
            const EdgeSearch& s = *engine.Find(name);
            found.emplace_back(s.rising, s.falling, s.state, s.pending, s.crossing);
        }
        return found;
    };
    for (bool eightBit : {false, true}) {
        Workers::SetCount(1);
        Workers::SetBlockSamples(0);
        const auto whole = search(eightBit);
        ASSERT_FALSE(std::get<0>(whole[0]).empty());
        for (int workers : {1, 2, 3, 7})
            for (std::size_t block : {1, 2, 3, 16, 17, 119, 120, 400, 521, 599}) {
                SCOPED_TRACE(testing::Message() << "8-bit " << eightBit << " workers " << workers
                                                << " block " << block);
                Workers::SetCount(workers);
                Workers::SetBlockSamples(block);
                const auto cut = search(eightBit);
                for (std::size_t k = 0; k < whole.size(); ++k) {
                    EXPECT_TRUE(SameCrossings(std::get<0>(cut[k]), std::get<0>(whole[k])));
                    EXPECT_TRUE(SameCrossings(std::get<1>(cut[k]), std::get<1>(whole[k])));
                    EXPECT_EQ(std::get<2>(cut[k]), std::get<2>(whole[k]));
                    EXPECT_EQ(std::get<3>(cut[k]), std::get<3>(whole[k]));
                    EXPECT_TRUE(SameCrossings({std::get<4>(cut[k])}, {std::get<4>(whole[k])}));
                }
            }
    }
    Workers::SetCount(0);
    Workers::SetBlockSamples(0);
}

}  // namespace
}  // namespace kestrava
