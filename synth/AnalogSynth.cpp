#include "synth/AnalogSynth.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "synth/SeededRandom.h"

namespace kestrava::synth {
namespace {

// A Gaussian edge rises from 10 % to 90 % in 2 × 1.2816 standard deviations.
constexpr double kRiseTimePerSigma = 2.0 * 1.2815515655446004;
// Beyond six deviations an edge has settled to within 1e-9 of its final level.
constexpr double kEdgeReachSigmas = 6.0;
// Jitter is clipped so that transitions keep their order.
constexpr double kMaxJitterUi = 0.45;
// Jitter and noise draw from separate streams, so changing one keeps the other.
constexpr std::uint64_t kNoiseStream = 0x9E3779B97F4A7C15ull;

struct Transition {
    double timeS;
    double stepV;
};

}  // namespace

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
    if (count == 0) return volts;

    const double ui = UnitIntervalS();
    const double ts = SampleIntervalS();
    const double half = options_.amplitudeV / 2.0;
    auto level = [&](std::uint8_t bit) {
        const bool high = (bit != 0) != options_.invert;
        return options_.offsetV + (high ? half : -half);
    };

    SeededRandom jitterRandom(options_.seed);
    std::vector<Transition> transitions;
    for (std::size_t k = 1; k < bits.size(); ++k) {
        if ((bits[k] != 0) == (bits[k - 1] != 0)) continue;
        double jitterS =
            options_.jitterRmsS > 0.0 ? options_.jitterRmsS * jitterRandom.Normal() : 0.0;
        jitterS = std::clamp(jitterS, -kMaxJitterUi * ui, kMaxJitterUi * ui);
        transitions.push_back(
            {static_cast<double>(k) * ui + jitterS, level(bits[k]) - level(bits[k - 1])});
    }

    const double sigmaS = options_.riseTimeS / kRiseTimePerSigma;
    const double reachS = kEdgeReachSigmas * sigmaS;
    const double edgeScale = sigmaS > 0.0 ? 1.0 / (sigmaS * std::sqrt(2.0)) : 0.0;
    SeededRandom noiseRandom(options_.seed ^ kNoiseStream);

    double settled = level(bits[0]);  // the level once every edge before `first` has passed
    std::size_t first = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = options_.startPhaseUi * ui + static_cast<double>(i) * ts;
        while (first < transitions.size() && transitions[first].timeS <= t - reachS) {
            settled += transitions[first].stepV;
            ++first;
        }
        double v = settled;
        if (sigmaS > 0.0) {
            for (std::size_t m = first; m < transitions.size() && transitions[m].timeS < t + reachS;
                 ++m)
                v +=
                    transitions[m].stepV * 0.5 * std::erfc(-(t - transitions[m].timeS) * edgeScale);
        }
        if (options_.noiseRmsV > 0.0) v += options_.noiseRmsV * noiseRandom.Normal();
        volts[i] = v;
    }
    return volts;
}

}  // namespace kestrava::synth
