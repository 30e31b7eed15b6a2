// A whole decode gives the same lists whatever the worker count and wherever the blocks
// of the per-sample passes are cut: on an edge, inside a pending crossing, at a slip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Workers.h"
#include "signal/CSataBitDetector.h"
#include "tests/e2e/DecodedCapture.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

using synth::CaptureOptions;
using synth::FaultKind;
using synth::SampleFormat;

class WorkerCountTest : public TempFolders {
  protected:
    void TearDown() override {
        Workers::SetCount(0);
        Workers::SetBlockSamples(0);
        TempFolders::TearDown();
    }
};

struct Decoded {
    std::vector<Placed> characters, primitives, fis;
    std::vector<std::int32_t> bitPositions;
    bool operator==(const Decoded&) const = default;
};

Decoded DecodeAgain(DecodedCapture& c) {
    c.Ui().LoadFile(c.Path());
    const BitStream& bits = c.Ui().Decoder().BitDetector()->Bits();
    return {c.MainLines(), c.DecodedPrimitives(), c.FisLines(), bits.bitPositions};
}

// The first sample after the signal first changes level, where a slow edge leaves a
// crossing pending for a few samples.
std::size_t FirstLevelChange(const CSataBitDetector& bits) {
    for (std::size_t i = 1; i < bits.LevelCount(); ++i)
        if (bits.Level(i) != bits.Level(i - 1) && bits.Level(i) != 0) return i;
    return 1;
}

TEST_F(WorkerCountTest, EveryCutAndWorkerCountDecodesAlike) {
    for (SampleFormat format : {SampleFormat::Int8, SampleFormat::Float32}) {
        SCOPED_TRACE(format == SampleFormat::Int8 ? "8-bit" : "float");
        CaptureOptions options;
        options.scenario.name = "faults";
        options.format = format;
        options.analog.samplesPerBit = 13.333;
        options.analog.riseTimeS = 150e-12;
        options.analog.noiseRmsV = 0.01;
        Workers::SetCount(1);
        DecodedCapture c(options, Root(), "faults");
        ASSERT_TRUE(c.Valid());
        const Decoded whole = DecodeAgain(c);
        ASSERT_GT(whole.characters.size(), 100u);
        const std::size_t edge = FirstLevelChange(*c.Ui().Decoder().BitDetector());
        std::vector<std::size_t> cuts = {edge, edge + 1, edge + 2, 4099};
        for (const synth::SentFault& fault : c.Manifest().Faults())
            if (fault.kind == FaultKind::ExtraBit || fault.kind == FaultKind::LostBit)
                cuts.push_back(static_cast<std::size_t>(
                    c.Manifest()
                        .Characters()[static_cast<std::size_t>(fault.character)]
                        .firstBitSample));
        ASSERT_EQ(cuts.size(), 6u);
        for (int workers : {1, 2, 3, 7})
            for (std::size_t block : cuts) {
                SCOPED_TRACE(testing::Message() << workers << " workers, blocks of " << block);
                Workers::SetCount(workers);
                Workers::SetBlockSamples(block);
                EXPECT_TRUE(DecodeAgain(c) == whole);
            }
    }
}

}  // namespace
}  // namespace kestrava::test
