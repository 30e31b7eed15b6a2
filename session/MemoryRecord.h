// Samples a caller holds in memory (a script's array), described as a waveform file's
// record is and streamed to the decode in the blocks a file import hands over: the same
// volts by the same arithmetic, so the same decode as the file, and no file written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"

namespace kestrava {

class MemoryRecord {
  public:
    // The raw samples stay the caller's and must outlive the object. The description's
    // count and sample size are taken from format and raw.
    MemoryRecord(std::span<const unsigned char> raw, const RecordDescription& description);

    // Why the record cannot be decoded ("no samples", "a sample interval above zero"),
    // empty when it can.
    std::string Problem() const;
    const RecordDescription& Description() const { return description_; }
    // Streams the record through the waveform data module into the sink as a file import
    // would; the point count, 0 on failure.
    std::int64_t Stream(RecordDescription& description, RecordSink& sink) const;

    // Bytes of one sample of a format.
    static int SampleSize(SampleFormat format);

  private:
    bool Feed(RecordSink& sink) const;

    std::span<const unsigned char> raw_;
    RecordDescription description_;
};

}  // namespace kestrava
