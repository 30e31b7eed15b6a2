// Writes a record's samples bare, in either byte order: what a scope's or a digitiser's
// raw dump holds, with nothing to say how to read it.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

class RawWriter {
  public:
    static std::vector<std::uint8_t> Serialize(const QuantizedRecord& record, bool bigEndian);
    // Every sample of the stream as stored, one after another; other writers' data
    // blocks are these too. Returns how many samples were written.
    static std::size_t Write(SampleStream& samples, bool bigEndian, ByteSink& out);
    // One block's samples as stored, appended to bytes.
    static void AppendSamples(const QuantizedRecord& block, bool bigEndian,
                              std::vector<std::uint8_t>& bytes);
};

}  // namespace kestrava::synth
