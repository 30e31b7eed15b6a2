// The sampled signal held by the bit detector: one 8-bit code and one voltage per
// sample, with the statistics the thresholds are taken from.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "instrument/WaveformHeader.h"
#include "signal/SampleArrayAllocator.h"

namespace kestrava {

struct WaveformRecord {
    std::uint32_t sampleCount = 0;  // 0: no waveform
    std::vector<std::int8_t, SampleArrayAllocator<std::int8_t>> codes;
    // File loads own their volts here; an instrument acquisition borrows the module's
    // transfer array instead (voltagesOwned clear).
    std::vector<float, SampleArrayAllocator<float>> voltages;
    const float* borrowedVoltages = nullptr;
    std::size_t borrowedCount = 0;
    bool voltagesOwned = false;
    WaveformHeader source;
    float maximum = 0.0f;
    float minimum = 0.0f;
    float mean = 0.0f;
    int meanCode = 0;
    int codeSpread = 0;

    // The first sampleCount volts, whichever array holds them.
    std::span<const float> Voltages() const {
        std::span<const float> all = voltagesOwned
                                         ? std::span<const float>(voltages)
                                         : std::span<const float>(borrowedVoltages, borrowedCount);
        return all.first(std::min<std::size_t>(sampleCount, all.size()));
    }
};

}  // namespace kestrava
