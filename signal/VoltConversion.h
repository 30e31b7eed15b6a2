// A waveform file's samples turned into the record's volts and 8-bit codes while the
// reader streams them, with the maximum, minimum and mean in the same pass.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "signal/WaveformRecord.h"

namespace kestrava {

// The low 8 bits of a truncated value; a value with no integer form (NaN, infinite, far
// out of range) has none to keep and gives 0.
inline std::int8_t LowByteOfTruncated(double q) {
    const bool inRange = q > -2147483648.0 && q < 2147483648.0;
    return static_cast<std::int8_t>(
        static_cast<std::uint8_t>(static_cast<std::int32_t>(inRange ? q : 0.0)));
}

// Per-sample passes run in blocks of this many with a fixed-length inner loop, which the
// compiler turns into vector instructions.
inline constexpr std::size_t kSampleBlock = 16;

// Maximum, minimum and sum of floats kept lane by lane, so that a block of samples takes
// a few vector instructions; the lanes are folded at the end. The sum is in double
// precision.
struct LaneStatistics {
    explicit LaneStatistics(float first = 0.0f);
    void AddBlock(const float* f) {
        for (std::size_t j = 0; j < kSampleBlock; ++j) {
            maximum[j] = f[j] > maximum[j] ? f[j] : maximum[j];
            minimum[j] = f[j] < minimum[j] ? f[j] : minimum[j];
            sum[j] += f[j];
        }
    }
    void Add(float f) {
        maximum[0] = f > maximum[0] ? f : maximum[0];
        minimum[0] = f < minimum[0] ? f : minimum[0];
        sum[0] += f;
    }
    void AddAll(std::span<const float> volts);
    void StoreInto(WaveformRecord& record, std::size_t count) const;

    float maximum[kSampleBlock];
    float minimum[kSampleBlock];
    double sum[kSampleBlock] = {};
};

// Largest and smallest 8-bit sample and the sum of all of them, lane by lane.
struct Int8Statistics {
    Int8Statistics();
    void Add(const std::int8_t* samples, std::size_t count);
    void Merge(const Int8Statistics& other);
    std::int8_t Largest() const;
    std::int8_t Smallest() const;

    std::int8_t largest[kSampleBlock];
    std::int8_t smallest[kSampleBlock];
    std::int64_t sum = 0;
};

// Volts per code step from the file's scale and sample format.
double CodeStep(double scale, SampleFormat format);

// Fills a record from a streamed import. An 8-bit file has 256 sample values: the
// record keeps its samples (where the file is mapped, when the reader can map it) with
// the volts and the code of each value, both made with the same arithmetic as a sample
// by sample conversion, and the reader is spared its conversion to volts. Other formats (and 8-bit
// volts in no order) take the reader's volts as floats.
class VoltConversion final : public RecordSink {
  public:
    VoltConversion(WaveformRecord& record, std::size_t limit) : record_(record), limit_(limit) {}

    bool Begin(const RecordDescription& record) override;
    bool WantsVolts() const override { return !int8Tables_; }
    bool WantsMapping() const override { return int8Tables_; }
    void TakeMapped(std::shared_ptr<const MappedFile> samples) override;
    void Take(std::span<const double> points, std::span<const unsigned char> raw) override;

    // True when every point arrived; then the record holds its statistics too.
    bool Finish(std::int64_t count);
    // The sample count of a record refused for holding more samples than the limit; 0
    // when none was.
    std::int64_t RefusedCount() const { return refusedCount_; }

  private:
    void TabulateInt8(const RecordDescription& record);
    void TakeInt8(std::span<const unsigned char> raw);
    void TakeVolts(std::span<const double> points, std::span<const unsigned char> raw);
    void ConvertCodes(std::span<const double> points, std::span<const unsigned char> raw,
                      std::int8_t* codes) const;
    void ConvertFloats(std::span<const double> points, float* voltages);

    WaveformRecord& record_;
    const std::size_t limit_;
    double scale_ = 1.0;
    double offset_ = 0.0;
    double step_ = 1.0;
    bool int8Tables_ = false;    // the 8-bit path: floats and codes come from the tables
    bool int8Identity_ = false;  // every 8-bit value is its own code
    bool int8CodesTabulated_ = false;
    std::size_t expected_ = 0;
    std::int64_t refusedCount_ = 0;
    std::size_t written_ = 0;
    LaneStatistics statistics_;
    Int8Statistics int8Statistics_;
};

}  // namespace kestrava
