// A source's record as the simulator holds it: shared by every source that shows it (MATHn
// shows CHn) and, for a pattern that repeats, kept as its first stretch and one period, so
// that a record of hundreds of millions of points costs what one period does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {

class StoredRecord {
  public:
    StoredRecord() = default;
    // The samples as a source handed them over.
    explicit StoredRecord(Waveform wave);
    // points samples: head's, and beyond its end head's samples from repeatFrom on, again
    // and again (repeatFrom < head's size).
    StoredRecord(Waveform head, size_t repeatFrom, size_t points);
    // MakeNrzWaveform's record, sample for sample, kept as its first bit and one period of
    // the PRBS7 sequence (127 bits).
    static StoredRecord Nrz(size_t points, uint32_t seed, const NrzOptions& options = {});

    size_t Size() const { return points_; }
    double SampleIntervalS() const { return sampleIntervalS_; }
    float At(size_t i) const;
    // Samples [first, first + count), count within the record.
    void Read(size_t first, size_t count, float* out) const;

  private:
    std::shared_ptr<const std::vector<float>> samples_ =
        std::make_shared<const std::vector<float>>();
    size_t repeatFrom_ = 0;
    size_t points_ = 0;
    double sampleIntervalS_ = 0;
};

}  // namespace kestrava::scopesim
