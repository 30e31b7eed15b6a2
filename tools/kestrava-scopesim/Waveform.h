// What the simulator acquires: one record of samples in volts with its sample interval,
// produced by a pluggable source per channel, reference or math waveform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrava::scopesim {

struct Waveform {
    std::vector<float> volts;
    double sampleIntervalS = 0;
};

// Called at each acquisition (channels and math) or once when set (references).
using WaveformSource = std::function<Waveform()>;

struct NrzOptions {
    double bitRate = 1.5e9;
    int samplesPerBit = 20;
    double highV = 0.25;
    double lowV = -0.25;
    int edgeSamples = 4;  // samples of a linear transition at a level change
};

// A deterministic NRZ waveform of `points` samples carrying the PRBS7 sequence started
// from `seed` (its low 7 bits; 0 counts as 0x7F).
Waveform MakeNrzWaveform(size_t points, uint32_t seed, const NrzOptions& options = {});

}  // namespace kestrava::scopesim
