// Writes a waveform file (":WFM#001" or ":WFM#003", either byte order): static header,
// reference header and curve buffer with 16 pre-charge and 16 post-charge points around
// the samples.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

struct WfmOptions {
    int version = 3;  // 1 or 3
    bool bigEndian = false;
    std::string label = "KESTRAVA";  // up to 31 characters are kept
    double firstPointTimeS = 0.0;    // time of the first data point
    double triggerPositionPoints = 0.0;

    std::string Validate() const;  // empty when usable
};

class WfmWriter {
  public:
    // Throws std::invalid_argument when the options do not Validate().
    explicit WfmWriter(WfmOptions options);

    // The whole file. Throws std::length_error when the record does not fit the
    // file's 32-bit sizes.
    std::vector<std::uint8_t> Serialize(const QuantizedRecord& record,
                                        double sampleIntervalS) const;
    // Writes the file; returns an empty text on success, else what went wrong.
    std::string Write(const std::string& path, const QuantizedRecord& record,
                      double sampleIntervalS) const;
    std::string Write(const std::string& path, SampleStream& samples, double sampleIntervalS) const;
    // The same bytes a block at a time; throws like Serialize, and SinkError.
    void Write(SampleStream& samples, double sampleIntervalS, ByteSink& out) const;
    // Everything ahead of the curve buffer; throws like Serialize.
    std::vector<std::uint8_t> Header(const RecordShape& record, double sampleIntervalS) const;

    static int FormatCode(SampleFormat format);  // 7 int8, 0 int16, 4 float

  private:
    // The pre- or post-charge points: copies of one stored sample.
    static void Charge(ByteSink& out, std::span<const std::uint8_t> sample);

    WfmOptions options_;
};

}  // namespace kestrava::synth
