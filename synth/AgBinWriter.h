// Writes a record as a ".bin" file with the "AG" cookie: the file header, a waveform
// header and a data header before the samples (32-bit float volts, or the 8- and 16-bit
// samples as they are). Optionally a logic waveform comes first, which readers skip.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

class AgBinWriter {
  public:
    // Throws std::length_error for a file beyond its 32-bit sizes.
    static std::vector<std::uint8_t> Serialize(const QuantizedRecord& record,
                                               double sampleIntervalS, double firstPointTimeS,
                                               bool logicFirst);
    // The same bytes a block at a time.
    static void Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                      bool logicFirst, ByteSink& out);
};

}  // namespace kestrava::synth
