// What a waveform file tells of the record it holds, in no file format's own terms: how
// its samples are stored, how they become volts and where they lie in time. Every reader
// fills one, so whatever takes a record works with any format.
#pragma once

#include <cstdint>

namespace kestrava {

// How one stored sample is kept.
enum class SampleFormat : std::uint8_t { Int8, Int16, Int32, UInt32, Float, Double };

struct RecordDescription {
    SampleFormat format = SampleFormat::Int16;
    int sampleSize = 0;        // bytes of one stored sample
    bool rawReversed = false;  // stored samples are in the other byte order than ours
    std::int64_t count = 0;    // samples in the record
    double scale = 0.0;        // volts = sample * scale + offset
    double offset = 0.0;
    double sampleIntervalS = 0.0;
    double firstPointTimeS = 0.0;  // time of the first sample
    double triggerOffsetS = 0.0;   // the file's trigger offset, added to every sample's time
};

// Volts of one 8-bit sample by the arithmetic the readers convert with: for callers that
// tabulate the 256 values instead of converting every sample.
inline double Int8SampleVolts(std::int8_t raw, double scale, double offset) {
    return static_cast<double>(raw) * scale + offset;
}

}  // namespace kestrava
