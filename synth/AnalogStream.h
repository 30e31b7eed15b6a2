// The samples of AnalogSynth a block at a time: the same volts, with the jitter and the
// noise drawn in the same order, while only the edges near the current sample are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "synth/AnalogSynth.h"
#include "synth/SeededRandom.h"

namespace kestrava::synth {

class AnalogStream {
  public:
    // synth and bits must outlive the stream.
    AnalogStream(const AnalogSynth& synth, std::span<const std::uint8_t> bits);

    std::size_t Count() const { return count_; }
    // Fills volts with the next samples, as many as fit or remain; returns how many.
    std::size_t Next(std::span<double> volts);

  private:
    struct Transition {
        double timeS;
        double stepV;
    };

    double Level(std::uint8_t bit) const;
    // Adds transitions until one lies after timeS or the bits end.
    void AddTransitionsThrough(double timeS);
    double SampleAt(double timeS);

    const AnalogOptions& options_;
    std::span<const std::uint8_t> bits_;
    std::size_t count_;
    std::size_t next_ = 0;  // the next sample to make
    double ui_;
    double ts_;
    double sigmaS_;
    double reachS_;
    double edgeScale_;
    SeededRandom jitterRandom_;
    SeededRandom noiseRandom_;
    std::size_t nextBit_ = 1;  // the next bit whose transition is not yet added
    // Transitions not yet settled, in time order, from edges_[first_] on.
    std::vector<Transition> edges_;
    std::size_t first_ = 0;
    double settled_ = 0.0;  // the level once every edge before the first has passed
};

}  // namespace kestrava::synth
