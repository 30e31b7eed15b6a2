// The sampled signal held by the bit detector: its samples (volts, or 8-bit samples with
// the volts and code of each value), one 8-bit code per sample for the graph, and the
// statistics the thresholds are taken from.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/MappedFile.h"
#include "instrument/WaveformHeader.h"
#include "signal/SampleArrayAllocator.h"

namespace kestrava {

// The largest and smallest of some codes.
struct CodeRange {
    int largest = -128;
    int smallest = 128;
};

struct WaveformRecord {
    std::uint32_t sampleCount = 0;  // 0: no waveform
    // A code per sample; empty for an 8-bit file, whose codes come from int8Codes.
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

    // An 8-bit file keeps its samples, in int8Samples or where the file is mapped, and the
    // volts and code of each of the 256 values (indexed by the sample as an unsigned byte)
    // instead of a float and a code per sample.
    std::vector<std::int8_t, SampleArrayAllocator<std::int8_t>> int8Samples;
    std::shared_ptr<const MappedFile> int8Mapping;
    std::array<float, 256> int8Volts{};
    std::array<std::int8_t, 256> int8Codes{};

    bool HasInt8Samples() const { return int8Mapping || !int8Samples.empty(); }
    // The first sampleCount samples of an 8-bit file.
    std::span<const std::int8_t> Int8Samples() const {
        const std::span<const std::int8_t> all =
            int8Mapping ? std::span<const std::int8_t>(
                              reinterpret_cast<const std::int8_t*>(int8Mapping->Bytes().data()),
                              int8Mapping->Bytes().size())
                        : std::span<const std::int8_t>(int8Samples);
        return all.first(std::min<std::size_t>(sampleCount, all.size()));
    }
    // How many samples have volts, in either form.
    std::size_t VoltCount() const {
        return HasInt8Samples() ? Int8Samples().size() : Voltages().size();
    }
    // The volts of sample i < VoltCount().
    float Volt(std::size_t i) const {
        return HasInt8Samples() ? int8Volts[static_cast<std::uint8_t>(Int8Samples()[i])]
                                : Voltages()[i];
    }

    // How many samples have codes.
    std::size_t CodeCount() const { return HasInt8Samples() ? Int8Samples().size() : codes.size(); }
    // The code of sample i < CodeCount().
    std::int8_t Code(std::size_t i) const {
        return HasInt8Samples() ? int8Codes[static_cast<std::uint8_t>(Int8Samples()[i])] : codes[i];
    }
    // The largest and smallest code of count samples from first; all within CodeCount().
    CodeRange CodesOf(std::size_t first, std::size_t count) const;

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
