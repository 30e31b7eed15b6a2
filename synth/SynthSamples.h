// Line bits made into quantised samples a block at a time, for a writer that streams
// them to its file: the samples of Quantize(Synthesize(bits)) without holding them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "synth/AnalogStream.h"
#include "synth/SampleStream.h"

namespace kestrava::synth {

class SynthSamples : public SampleStream {
  public:
    // synth and bits must outlive the stream.
    SynthSamples(const AnalogSynth& synth, std::span<const std::uint8_t> bits,
                 const Quantizer& quantizer, std::size_t blockSamples = kBlockSamples);

    RecordShape Shape() const override;
    bool Next(QuantizedRecord& block) override;

    static constexpr std::size_t kBlockSamples = 1 << 20;

  private:
    AnalogStream analog_;
    Quantizer quantizer_;
    std::vector<double> volts_;
};

}  // namespace kestrava::synth
