// Captures made by the independent signal generator (8b/10b line code, shaped edges,
// noise, jitter, any samples per bit), written in every file version, byte order and
// sample format: the bits recovered are the bits sent, each centred in its own unit
// interval.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "signal/CSataBitDetector.h"
#include "synth/AnalogSynth.h"
#include "synth/Encoder8b10b.h"
#include "synth/Quantizer.h"
#include "synth/WfmWriter.h"
#include "tests/signal/BitDetectorFixture.h"
#include "tests/signal/NrzCapture.h"

namespace kestrava {
namespace {

std::vector<std::uint8_t> LineBits(std::size_t characters, unsigned seed) {
    std::mt19937 random(seed);
    synth::Encoder8b10b encoder;
    std::vector<std::uint8_t> bits;
    for (std::size_t c = 0; c < characters; ++c) {
        const int value =
            c % 16 == 0 ? synth::CharacterValue("K28.5") : static_cast<int>(random() % 256);
        const std::uint16_t code = encoder.Encode(value);
        for (int b = 9; b >= 0; --b) bits.push_back(static_cast<std::uint8_t>((code >> b) & 1u));
    }
    return bits;
}

class SynthCapture : public test::BitDetectorFixture {
  protected:
    void ExpectBitsSent(double samplesPerBit, int version, bool bigEndian,
                        synth::SampleFormat format, unsigned seed) {
        SCOPED_TRACE(testing::Message()
                     << "spb " << samplesPerBit << " version " << version << " BE " << bigEndian
                     << " format " << synth::SampleFormatName(format));
        const std::vector<std::uint8_t> sent = LineBits(300, seed);
        synth::AnalogOptions analog;
        analog.bitRate = 1.5e9;
        analog.samplesPerBit = samplesPerBit;
        analog.amplitudeV = 0.5;
        analog.riseTimeS = 0.25 / analog.bitRate;
        analog.noiseRmsV = 0.01;
        analog.jitterRmsS = 0.03 / analog.bitRate;
        analog.startPhaseUi = 0.3;
        analog.seed = seed;
        const synth::AnalogSynth synthesizer(analog);
        const std::vector<double> volts = synthesizer.Synthesize(sent);
        const synth::QuantizedRecord record =
            synth::Quantizer::ForSignal(format, analog).Quantize(volts);
        synth::WfmOptions wfm;
        wfm.version = version;
        wfm.bigEndian = bigEndian;
        const std::string path = Tmp() + "/synth.wfm";
        ASSERT_EQ(synth::WfmWriter(wfm).Write(path, record, synthesizer.SampleIntervalS()), "");

        CSataBitDetector detector(path, &host, bitRate);
        ASSERT_EQ(detector.SampleCount(), volts.size());

        std::vector<int> sentBits(sent.begin(), sent.end());
        const std::vector<int> expected = test::BitsBetweenEdges(sentBits);
        std::size_t firstEdge = 1;
        while (sentBits[firstEdge] == sentBits[0]) ++firstEdge;
        const BitStream& bits = detector.Bits();
        ASSERT_GE(bits.bitCount, static_cast<std::int32_t>(expected.size()) - 1);
        ASSERT_LE(bits.bitCount, static_cast<std::int32_t>(expected.size()));
        for (std::int32_t i = 0; i < bits.bitCount; ++i) {
            const auto k = static_cast<std::size_t>(i);
            ASSERT_EQ(bits.bits[k], expected[k] ? 1 : -1) << "bit " << i;
            const double centre = synthesizer.BitCentreSample(firstEdge + k);
            ASSERT_NEAR(bits.bitPositions[k] - 1, centre, 0.45 * samplesPerBit) << "bit " << i;
        }
    }
};

TEST_F(SynthCapture, TwentySamplesPerBitInEveryVersionByteOrderAndFormat) {
    unsigned seed = 11;
    for (int version : {1, 3})
        for (bool bigEndian : {false, true})
            for (synth::SampleFormat format :
                 {synth::SampleFormat::Int8, synth::SampleFormat::Int16,
                  synth::SampleFormat::Float32})
                ExpectBitsSent(20.0, version, bigEndian, format, seed++);
}

TEST_F(SynthCapture, ThirteenAndAThirdSamplesPerBitInEveryVersionByteOrderAndFormat) {
    unsigned seed = 51;
    for (int version : {1, 3})
        for (bool bigEndian : {false, true})
            for (synth::SampleFormat format :
                 {synth::SampleFormat::Int8, synth::SampleFormat::Int16,
                  synth::SampleFormat::Float32})
                ExpectBitsSent(40.0 / 3.0, version, bigEndian, format, seed++);
}

}  // namespace
}  // namespace kestrava
