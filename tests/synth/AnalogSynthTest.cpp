#include "synth/AnalogSynth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "synth/AnalogStream.h"
#include "synth/Quantizer.h"
#include "synth/SeededRandom.h"

namespace kestrava::synth {
namespace {

std::vector<std::uint8_t> RandomBits(std::size_t n, std::uint64_t seed) {
    SeededRandom random(seed);
    std::vector<std::uint8_t> bits(n);
    for (auto& b : bits) b = static_cast<std::uint8_t>(random.NextU64() & 1);
    return bits;
}

// Fractional sample positions where the signal crosses the level, by interpolation.
std::vector<double> Crossings(const std::vector<double>& v, double level) {
    std::vector<double> at;
    for (std::size_t i = 1; i < v.size(); ++i)
        if ((v[i - 1] < level) != (v[i] < level))
            at.push_back(static_cast<double>(i - 1) + (level - v[i - 1]) / (v[i] - v[i - 1]));
    return at;
}

TEST(AnalogSynthTest, LevelsAtBitCentresAreTheBitsSentForAnySamplesPerBit) {
    const std::vector<std::uint8_t> bits = RandomBits(3000, 11);
    for (double spb : {20.0, 13.333, 7.5, 2.5}) {
        for (bool invert : {false, true}) {
            AnalogOptions options;
            options.samplesPerBit = spb;
            options.riseTimeS = 0.3 / options.bitRate;
            options.amplitudeV = 0.8;
            options.offsetV = 0.2;
            options.invert = invert;
            options.startPhaseUi = 0.6;
            const AnalogSynth synth(options);
            const std::vector<double> volts = synth.Synthesize(bits);
            ASSERT_EQ(volts.size(), synth.SampleCountFor(bits.size()));
            const QuantizedRecord record =
                Quantizer::ForSignal(SampleFormat::Int8, options).Quantize(volts);
            // The first bit has begun before sample 0; every later one is whole.
            for (std::size_t k = 1; k < bits.size(); ++k) {
                const auto i = static_cast<std::size_t>(std::lround(synth.BitCentreSample(k)));
                ASSERT_LT(i, volts.size()) << "spb " << spb << " bit " << k;
                const bool high = (bits[k] != 0) != invert;
                ASSERT_EQ(volts[i] > options.offsetV, high) << "spb " << spb << " bit " << k;
                ASSERT_EQ(record.VoltsAt(i) > options.offsetV, high)
                    << "spb " << spb << " bit " << k;
            }
        }
    }
}

TEST(AnalogSynthTest, EdgesSitOnTheBitGridAtTheGivenPhase) {
    AnalogOptions options;
    options.samplesPerBit = 13.333;
    options.startPhaseUi = 0.25;
    const std::vector<std::uint8_t> bits{0, 1, 1, 0, 1, 0, 0, 0, 1, 1};
    const AnalogSynth synth(options);
    const std::vector<double> volts = synth.Synthesize(bits);
    EXPECT_EQ(volts.size(), static_cast<std::size_t>(std::floor((10 - 0.25) * 13.333)));
    // An ideal step: a sample takes the new level from the transition time on.
    for (std::size_t k : {1, 3, 4, 5, 8}) {
        const double edge = synth.BitStartSample(k);
        const auto before = static_cast<std::size_t>(std::ceil(edge) - 1);
        const auto after = static_cast<std::size_t>(std::ceil(edge));
        EXPECT_EQ(volts[before] > 0, bits[k - 1] != 0) << k;
        EXPECT_EQ(volts[after] > 0, bits[k] != 0) << k;
    }
    EXPECT_DOUBLE_EQ(synth.BitCentreSample(3), (3.5 - 0.25) * 13.333);
    EXPECT_DOUBLE_EQ(synth.SampleIntervalS(), 1.0 / (1.5e9 * 13.333));
}

TEST(AnalogSynthTest, RiseTimeNoiseAndJitterHaveTheirSize) {
    AnalogOptions options;
    options.samplesPerBit = 200;
    options.riseTimeS = 100e-12;
    options.amplitudeV = 1.0;
    const std::vector<std::uint8_t> step{0, 0, 0, 1, 1, 1};
    const std::vector<double> edge = AnalogSynth(options).Synthesize(step);
    const double t10 = Crossings(edge, -0.4).at(0), t90 = Crossings(edge, 0.4).at(0);
    const double riseS = (t90 - t10) * AnalogSynth(options).SampleIntervalS();
    EXPECT_NEAR(riseS, 100e-12, 2e-12);
    EXPECT_NEAR(edge.front(), -0.5, 1e-9);
    EXPECT_NEAR(edge.back(), 0.5, 1e-9);

    options.riseTimeS = 0;
    options.noiseRmsV = 0.01;
    const std::vector<double> flat =
        AnalogSynth(options).Synthesize(std::vector<std::uint8_t>(1000, 1));
    const double mean = std::accumulate(flat.begin(), flat.end(), 0.0) / flat.size();
    double var = 0;
    for (double v : flat) var += (v - mean) * (v - mean);
    EXPECT_NEAR(mean, 0.5, 0.001);
    EXPECT_NEAR(std::sqrt(var / flat.size()), 0.01, 0.0005);

    options.noiseRmsV = 0;
    options.jitterRmsS = 20e-12;
    std::vector<std::uint8_t> clock(4000);
    for (std::size_t i = 0; i < clock.size(); ++i) clock[i] = i & 1;
    const AnalogSynth jittery(options);
    const std::vector<double> at = Crossings(jittery.Synthesize(clock), 0.0);
    ASSERT_EQ(at.size(), clock.size() - 1);
    double sum2 = 0;
    for (std::size_t k = 0; k < at.size(); ++k) {
        const double error = at[k] - jittery.BitStartSample(k + 1);
        sum2 += error * error;
    }
    EXPECT_NEAR(std::sqrt(sum2 / at.size()) * jittery.SampleIntervalS(), 20e-12, 1.5e-12);
}

TEST(AnalogSynthTest, TheSameSeedGivesTheSameCapture) {
    AnalogOptions options;
    options.noiseRmsV = 0.02;
    options.jitterRmsS = 5e-12;
    options.riseTimeS = 80e-12;
    const std::vector<std::uint8_t> bits = RandomBits(500, 3);
    const auto a = AnalogSynth(options).Synthesize(bits);
    EXPECT_EQ(a, AnalogSynth(options).Synthesize(bits));
    options.seed = 2;
    EXPECT_NE(a, AnalogSynth(options).Synthesize(bits));
}

TEST(AnalogSynthTest, RefusesUnusableOptions) {
    auto refused = [](auto change) {
        AnalogOptions options;
        change(options);
        return !options.Validate().empty();
    };
    EXPECT_FALSE(refused([](AnalogOptions&) {}));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.samplesPerBit = 1.5; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.bitRate = 0; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.bitRate = NAN; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.startPhaseUi = 1.0; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.noiseRmsV = -1; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.jitterRmsS = 1e-9; }));
    EXPECT_TRUE(refused([](AnalogOptions& o) { o.riseTimeS = 2e-9; }));
    AnalogOptions bad;
    bad.samplesPerBit = 0;
    EXPECT_THROW(AnalogSynth{bad}, std::invalid_argument);
    EXPECT_TRUE(AnalogSynth(AnalogOptions{}).Synthesize({}).empty());
}

// Wide edges, jitter and noise carry across the seams of blocks of any size.
TEST(AnalogSynthTest, AStreamInBlocksOfAnySizeGivesTheWholeRecord) {
    const std::vector<std::uint8_t> bits = RandomBits(1500, 5);
    for (double spb : {20.0, 7.3}) {
        AnalogOptions options;
        options.samplesPerBit = spb;
        options.riseTimeS = 1.5 / options.bitRate;
        options.jitterRmsS = 0.1 / options.bitRate;
        options.noiseRmsV = 0.01;
        options.startPhaseUi = 0.3;
        options.seed = 4;
        const AnalogSynth synth(options);
        const std::vector<double> whole = synth.Synthesize(bits);
        for (std::size_t size : {1, 7, 4096}) {
            AnalogStream stream(synth, bits);
            std::vector<double> block(size), joined;
            while (const std::size_t n = stream.Next(block))
                joined.insert(joined.end(), block.begin(), block.begin() + n);
            EXPECT_TRUE(joined == whole) << "spb " << spb << " block " << size;
        }
    }
}

TEST(QuantizerTest, RawValuesMapBackToVoltsWithinHalfAStep) {
    const std::vector<double> volts{-0.3, -0.1, 0.0, 0.05, 0.2999, 2.0, -2.0};
    for (SampleFormat format : {SampleFormat::Int8, SampleFormat::Int16, SampleFormat::Float32}) {
        const Quantizer q(format, 0.3, 0.05);
        const QuantizedRecord r = q.Quantize(volts);
        ASSERT_EQ(r.Size(), volts.size());
        for (std::size_t i = 0; i + 2 < volts.size(); ++i)
            EXPECT_NEAR(r.VoltsAt(i), volts[i],
                        format == SampleFormat::Float32 ? 1e-7 : r.scaleV / 2);
        if (format == SampleFormat::Int8) {
            EXPECT_EQ(r.int8[2], -17);  // (0 - 0.05) / 0.003
            EXPECT_EQ(r.int8[5], 127);  // clipped
            EXPECT_EQ(r.int8[6], -128);
        }
        if (format == SampleFormat::Int16) {
            EXPECT_EQ(r.int16[5], 32767);
        }
    }
    EXPECT_EQ(SampleFormatNamed("int16"), SampleFormat::Int16);
    EXPECT_EQ(SampleFormatNamed("float"), SampleFormat::Float32);
    EXPECT_FALSE(SampleFormatNamed("int32").has_value());
}

}  // namespace
}  // namespace kestrava::synth
