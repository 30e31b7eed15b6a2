// The samples a writer stores, a block at a time, and what it must know before the first
// block: their format, scale, offset and count.
#pragma once

#include <cstddef>

#include "synth/Quantizer.h"

namespace kestrava::synth {

struct RecordShape {
    SampleFormat format = SampleFormat::Int8;
    double scaleV = 1.0;
    double offsetV = 0.0;
    std::size_t count = 0;
};

class SampleStream {
  public:
    virtual ~SampleStream() = default;

    virtual RecordShape Shape() const = 0;
    // Replaces block's samples by the next ones, in the shape's format; false once every
    // sample was given.
    virtual bool Next(QuantizedRecord& block) = 0;
};

}  // namespace kestrava::synth
