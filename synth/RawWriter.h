// Writes a record's samples bare, in either byte order: what a scope's or a digitiser's
// raw dump holds, with nothing to say how to read it.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/Quantizer.h"

namespace kestrava::synth {

class ByteBuffer;

class RawWriter {
  public:
    static std::vector<std::uint8_t> Serialize(const QuantizedRecord& record, bool bigEndian);
    // The samples as stored, one after another; other writers' data blocks are these too.
    static void AppendSamples(const QuantizedRecord& record, ByteBuffer& b);
};

}  // namespace kestrava::synth
