// Writes a record as text columns the way scopes export them: two metadata lines, a
// header line, then one "time,volts" row per sample with a '.' decimal point.
#pragma once

#include <string>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

class CsvWriter {
  public:
    static std::string Serialize(const QuantizedRecord& record, double sampleIntervalS,
                                 double firstPointTimeS, char separator);
    // The same text a block at a time.
    static void Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                      char separator, ByteSink& out);
};

}  // namespace kestrava::synth
