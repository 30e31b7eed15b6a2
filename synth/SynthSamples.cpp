#include "synth/SynthSamples.h"

#include <algorithm>

namespace kestrava::synth {

SynthSamples::SynthSamples(const AnalogSynth& synth, std::span<const std::uint8_t> bits,
                           const Quantizer& quantizer, std::size_t blockSamples)
    : analog_(synth, bits), quantizer_(quantizer), volts_(std::max<std::size_t>(blockSamples, 1)) {}

RecordShape SynthSamples::Shape() const {
    return {quantizer_.Format(), quantizer_.ScaleV(), quantizer_.OffsetV(), analog_.Count()};
}

bool SynthSamples::Next(QuantizedRecord& block) {
    const std::size_t n = analog_.Next(volts_);
    if (n == 0) return false;
    quantizer_.QuantizeInto(std::span<const double>(volts_).first(n), block);
    return true;
}

}  // namespace kestrava::synth
