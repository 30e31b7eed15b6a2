#include "synth/AnalogSynth.h"

#include <cmath>
#include <stdexcept>

#include "synth/AnalogStream.h"

namespace kestrava::synth {

std::string AnalogOptions::Validate() const {
    if (!(bitRate > 0.0) || !std::isfinite(bitRate)) return "bit rate must be a positive number";
    if (!(samplesPerBit >= 2.0) || samplesPerBit > 10000.0)
        return "samples per bit must lie between 2 and 10000";
    if (!(amplitudeV >= 0.0) || !std::isfinite(amplitudeV)) return "amplitude must be 0 or more";
    if (!std::isfinite(offsetV)) return "offset must be a number";
    if (!(riseTimeS >= 0.0) || riseTimeS * bitRate > 2.0)
        return "rise time must lie between 0 and two bit periods";
    if (!(noiseRmsV >= 0.0) || !std::isfinite(noiseRmsV)) return "noise must be 0 or more";
    if (!(jitterRmsS >= 0.0) || jitterRmsS * bitRate > 1.0)
        return "jitter must lie between 0 and one bit period";
    if (!(startPhaseUi >= 0.0 && startPhaseUi < 1.0))
        return "phase must lie in [0, 1) unit intervals";
    return {};
}

AnalogSynth::AnalogSynth(const AnalogOptions& options) : options_(options) {
    if (std::string problem = options.Validate(); !problem.empty())
        throw std::invalid_argument(problem);
}

double AnalogSynth::SampleIntervalS() const {
    return 1.0 / (options_.bitRate * options_.samplesPerBit);
}

std::size_t AnalogSynth::SampleCountFor(std::size_t bitCount) const {
    if (bitCount == 0) return 0;
    const double span =
        (static_cast<double>(bitCount) - options_.startPhaseUi) * options_.samplesPerBit;
    return static_cast<std::size_t>(std::floor(span));
}

double AnalogSynth::BitStartSample(std::size_t bit) const {
    return (static_cast<double>(bit) - options_.startPhaseUi) * options_.samplesPerBit;
}

double AnalogSynth::BitCentreSample(std::size_t bit) const {
    return (static_cast<double>(bit) + 0.5 - options_.startPhaseUi) * options_.samplesPerBit;
}

std::vector<double> AnalogSynth::Synthesize(std::span<const std::uint8_t> bits) const {
    const std::size_t count = SampleCountFor(bits.size());
    if (count > kMaxSamples) throw std::length_error("capture longer than the sample limit");
    std::vector<double> volts(count);
    AnalogStream(*this, bits).Next(volts);
    return volts;
}

}  // namespace kestrava::synth
