// Writes a record as text columns the way scopes export them: two metadata lines, a
// header line, then one "time,volts" row per sample with a '.' decimal point.
#pragma once

#include <string>

#include "synth/Quantizer.h"

namespace kestrava::synth {

class CsvWriter {
  public:
    static std::string Serialize(const QuantizedRecord& record, double sampleIntervalS,
                                 double firstPointTimeS, char separator);
};

}  // namespace kestrava::synth
