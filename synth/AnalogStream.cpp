#include "synth/AnalogStream.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

AnalogStream::AnalogStream(const AnalogSynth& synth, std::span<const std::uint8_t> bits)
    : options_(synth.Options()),
      bits_(bits),
      count_(synth.SampleCountFor(bits.size())),
      ui_(synth.UnitIntervalS()),
      ts_(synth.SampleIntervalS()),
      sigmaS_(options_.riseTimeS / kRiseTimePerSigma),
      reachS_(kEdgeReachSigmas * sigmaS_),
      edgeScale_(sigmaS_ > 0.0 ? 1.0 / (sigmaS_ * std::sqrt(2.0)) : 0.0),
      jitterRandom_(options_.seed),
      noiseRandom_(options_.seed ^ kNoiseStream) {
    if (!bits.empty()) settled_ = Level(bits[0]);
}

double AnalogStream::Level(std::uint8_t bit) const {
    const double half = options_.amplitudeV / 2.0;
    const bool high = (bit != 0) != options_.invert;
    return options_.offsetV + (high ? half : -half);
}

void AnalogStream::AddTransitionsThrough(double timeS) {
    // Settled transitions are dropped now and then, not one by one.
    if (first_ > 64 && 2 * first_ > edges_.size()) {
        edges_.erase(edges_.begin(), edges_.begin() + static_cast<std::ptrdiff_t>(first_));
        first_ = 0;
    }
    while ((first_ == edges_.size() || edges_.back().timeS <= timeS) && nextBit_ < bits_.size()) {
        const std::size_t k = nextBit_++;
        if ((bits_[k] != 0) == (bits_[k - 1] != 0)) continue;
        double jitterS =
            options_.jitterRmsS > 0.0 ? options_.jitterRmsS * jitterRandom_.Normal() : 0.0;
        jitterS = std::clamp(jitterS, -kMaxJitterUi * ui_, kMaxJitterUi * ui_);
        edges_.push_back(
            {static_cast<double>(k) * ui_ + jitterS, Level(bits_[k]) - Level(bits_[k - 1])});
    }
}

double AnalogStream::SampleAt(double t) {
    // Every transition at or before t + reach is at hand: those are all a sample needs.
    const double ahead = t + reachS_;
    if (first_ == edges_.size() || edges_.back().timeS <= ahead) AddTransitionsThrough(ahead);
    const double behind = t - reachS_;
    while (first_ < edges_.size() && edges_[first_].timeS <= behind) {
        settled_ += edges_[first_].stepV;
        ++first_;
    }
    double v = settled_;
    if (sigmaS_ > 0.0) {
        for (std::size_t m = first_; m < edges_.size() && edges_[m].timeS < ahead; ++m)
            v += edges_[m].stepV * 0.5 * std::erfc(-(t - edges_[m].timeS) * edgeScale_);
    }
    if (options_.noiseRmsV > 0.0) v += options_.noiseRmsV * noiseRandom_.Normal();
    return v;
}

std::size_t AnalogStream::Next(std::span<double> volts) {
    const std::size_t n = std::min(volts.size(), count_ - next_);
    for (std::size_t j = 0; j < n; ++j, ++next_) {
        const double t = options_.startPhaseUi * ui_ + static_cast<double>(next_) * ts_;
        volts[j] = SampleAt(t);
    }
    return n;
}

}  // namespace kestrava::synth
