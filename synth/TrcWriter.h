// Writes a record as a ".trc" file of the LECROY_2_3 template: an optional "#9" block
// prefix, the 346-byte WAVEDESC block and the 8- or 16-bit samples, with
// volts = gain * sample - offset. More than one segment makes a sequence record of
// copies of the record, behind its trigger-time array.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

class TrcWriter {
  public:
    // Throws std::invalid_argument for float samples or fewer than one segment, and
    // std::length_error for a file whose 32-bit sizes or block prefix cannot count it.
    static std::vector<std::uint8_t> Serialize(const QuantizedRecord& record,
                                               double sampleIntervalS, double firstPointTimeS,
                                               bool bigEndian, bool blockPrefix, int segments);
    // The same bytes a block at a time; the further segments are copied from out.
    static void Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                      bool bigEndian, bool blockPrefix, int segments, ByteSink& out);
};

}  // namespace kestrava::synth
