// The sampled signal held by the bit detector: one 8-bit code and one voltage per
// sample, with the statistics the thresholds are taken from.
#pragma once

#include <algorithm>
#include <array>
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

    // An 8-bit file keeps its samples and the volts of each of the 256 values (indexed
    // by the sample as an unsigned byte) instead of a float per sample.
    std::vector<std::int8_t, SampleArrayAllocator<std::int8_t>> int8Samples;
    std::array<float, 256> int8Volts{};

    bool HasInt8Samples() const { return !int8Samples.empty(); }
    // The first sampleCount samples of an 8-bit file.
    std::span<const std::int8_t> Int8Samples() const {
        return std::span<const std::int8_t>(int8Samples)
            .first(std::min<std::size_t>(sampleCount, int8Samples.size()));
    }
    // How many samples have volts, in either form.
    std::size_t VoltCount() const {
        return HasInt8Samples() ? Int8Samples().size() : Voltages().size();
    }
    // The volts of sample i < VoltCount().
    float Volt(std::size_t i) const {
        return HasInt8Samples() ? int8Volts[static_cast<std::uint8_t>(int8Samples[i])]
                                : Voltages()[i];
    }

    // The first sampleCount volts of a record kept as floats, whichever array holds them;
    // empty for an 8-bit file.
    std::span<const float> Voltages() const {
        std::span<const float> all = voltagesOwned
                                         ? std::span<const float>(voltages)
                                         : std::span<const float>(borrowedVoltages, borrowedCount);
        return all.first(std::min<std::size_t>(sampleCount, all.size()));
    }
};

}  // namespace kestrava
