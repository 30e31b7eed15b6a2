// Peak heap of bit recovery on records that change level at every sample, counted by the
// benchmarks' counting allocator, which this program links in place of the global one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/HeapCounter.h"
#include "signal/CSataBitDetector.h"
#include "signal/RecycledBlocks.h"
#include "tests/signal/BitDetectorFixture.h"

namespace kestrava {
namespace {

class EdgeDenseRecord : public test::BitDetectorFixture {};

// The stated bound is 16 bytes per sample plus 64 MB; the 64 MB is the program's own,
// so the record's share is held to the 16 bytes alone. 8-bit and float files keep
// different arrays per sample.
TEST_F(EdgeDenseRecord, BitRecoveryNeedsAtMostSixteenBytesPerSample) {
    constexpr std::size_t kSamples = std::size_t{1} << 21;
    for (std::int32_t format : {7, 4}) {
        test::WfmSpec layout;
        layout.formatCode = format;
        layout.intervalS = 1.0 / 30e9;  // 20 samples per bit at 1.5 Gb/s
        layout.raw.resize(kSamples);
        for (std::size_t i = 0; i < kSamples; ++i) layout.raw[i] = i % 2 ? -32.0 : 32.0;
        const std::string path = WriteCapture(layout);
        layout.raw = {};
        RecycledBlocks::ReleaseKept();
        const std::int64_t before = bench::StartHeapPeak();
        {
            CSataBitDetector detector(path, &host, bitRate);
            EXPECT_NE(host.StatusText().find("Number of Edges: 2097151 \r\n"), std::string::npos);
        }
        const double perSample =
            static_cast<double>(bench::HeapPeakBytes() - before) / static_cast<double>(kSamples);
        EXPECT_LE(perSample, 16.0) << "format " << format;
        host.ClearStatus();
    }
}

}  // namespace
}  // namespace kestrava
