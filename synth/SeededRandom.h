// Reproducible randomness: the standard 64-bit Mersenne Twister, whose output sequence
// is fixed by the language, with our own uniform and normal transforms (the library's
// distributions differ between implementations).
#pragma once

#include <cstdint>
#include <random>

namespace kestrava::synth {

class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}

    std::uint64_t NextU64() { return engine_(); }
    std::uint32_t NextU32() { return static_cast<std::uint32_t>(engine_() >> 32); }
    // Uniform in [0, 1).
    double Uniform();
    // Standard normal (mean 0, deviation 1), by the Box-Muller transform.
    double Normal();

  private:
    std::mt19937_64 engine_;
    bool haveSpare_ = false;
    double spare_ = 0.0;
};

}  // namespace kestrava::synth
