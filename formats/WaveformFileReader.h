// A reader of one waveform file format, as the format registry hands it out: imports a
// file's first record, its volts kept or streamed to a sink.
#pragma once

#include <span>
#include <string>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"

namespace kestrava {

class WaveformFileReader {
  public:
    virtual ~WaveformFileReader() = default;
    // True when the file was imported. With a sink the points go to it and Points() stays
    // empty; a failure may come after the sink took some blocks.
    virtual bool Import(const std::string& path, RecordSink* sink) = 0;
    // The record of the last import; meaningful after a successful one only.
    virtual const RecordDescription& Description() const = 0;
    // The volts of the last import that kept them; empty after a streamed or failed one.
    virtual std::span<const double> Points() const = 0;
};

}  // namespace kestrava
