// Turns line bits into the sampled analog signal an oscilloscope would record: NRZ
// levels with Gaussian-shaped edges, random jitter on every transition, additive
// Gaussian noise, either polarity, any samples per bit and starting phase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrava::synth {

struct AnalogOptions {
    double bitRate = 1.5e9;       // bits per second
    double samplesPerBit = 20.0;  // need not be an integer
    double amplitudeV = 0.5;      // peak-to-peak differential swing
    double offsetV = 0.0;         // level half-way between a one and a zero
    double riseTimeS = 0.0;       // 10 % to 90 %; 0 gives ideal steps
    double noiseRmsV = 0.0;
    double jitterRmsS = 0.0;    // random jitter of each transition
    bool invert = false;        // a one is the low level
    double startPhaseUi = 0.0;  // the first sample lies this far into the first bit, [0, 1)
    std::uint64_t seed = 1;

    // Empty when usable, else what is wrong.
    std::string Validate() const;
};

class AnalogSynth {
  public:
    // Throws std::invalid_argument when the options do not Validate().
    explicit AnalogSynth(const AnalogOptions& options);

    const AnalogOptions& Options() const { return options_; }
    double SampleIntervalS() const;
    double UnitIntervalS() const { return 1.0 / options_.bitRate; }
    // Samples a record of bitCount bits holds: from the starting phase to the end of
    // the last bit.
    std::size_t SampleCountFor(std::size_t bitCount) const;
    // The (fractional) sample index at the centre of bit k.
    double BitCentreSample(std::size_t bit) const;
    // The (fractional) sample index where bit k begins.
    double BitStartSample(std::size_t bit) const;

    // Volts per sample, the whole record at once (AnalogStream makes them a block at a
    // time). Throws std::length_error beyond kMaxSamples.
    std::vector<double> Synthesize(std::span<const std::uint8_t> bits) const;

    static constexpr std::size_t kMaxSamples = 200'000'000;

  private:
    AnalogOptions options_;
};

}  // namespace kestrava::synth
