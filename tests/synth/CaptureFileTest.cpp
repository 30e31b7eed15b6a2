#include "synth/CaptureFile.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "synth/MemorySink.h"

namespace kestrava::synth {
namespace {

// A record that is only its shape: enough for a writer's sizes.
class ShapeOnly : public SampleStream {
  public:
    explicit ShapeOnly(RecordShape shape) : shape_(shape) {}
    RecordShape Shape() const override { return shape_; }
    bool Next(QuantizedRecord&) override { return false; }

  private:
    RecordShape shape_;
};

// A record longer than a format's 32-bit sizes (or a .trc block prefix's nine digits) can
// count is refused before a byte is written, never wrapped.
TEST(CaptureFileTest, EveryFormatRefusesARecordItsSizesCannotCount) {
    using S = SampleFormat;
    const struct {
        FileFormat file;
        SampleFormat samples;
        std::size_t count;
        int trcSegments;
        bool trcPrefix;
        bool binLogicFirst;
    } cases[] = {
        {FileFormat::Wfm, S::Int8, 2147483647, 1, true, false},
        {FileFormat::Wfm, S::Float32, 600'000'000, 1, true, false},
        {FileFormat::Trc, S::Int16, 1'100'000'000, 1, false, false},
        {FileFormat::Trc, S::Int8, 800'000'000, 3, false, false},
        {FileFormat::Trc, S::Int8, 999'999'654, 1, true, false},  // one byte past the prefix
        {FileFormat::Bin, S::Float32, 600'000'000, 1, true, false},
        {FileFormat::Bin, S::Int8, 1'100'000'000, 1, true, true},
    };
    for (const auto& c : cases) {
        CaptureFileOptions options;
        options.format = c.file;
        options.trcSegments = c.trcSegments;
        options.trcBlockPrefix = c.trcPrefix;
        options.binLogicFirst = c.binLogicFirst;
        ShapeOnly samples({c.samples, 0.01, 0.0, c.count});
        MemorySink sink;
        EXPECT_THROW(CaptureFile::Write(options, samples, 1e-11, sink), std::length_error)
            << FileFormatName(c.file) << " " << c.count;
        EXPECT_EQ(sink.Size(), 0u) << FileFormatName(c.file) << " " << c.count;
    }
}

}  // namespace
}  // namespace kestrava::synth
