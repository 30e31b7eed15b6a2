#include "tools/kestrava-scopesim/Waveform.h"

#include <algorithm>

namespace kestrava::scopesim {

Waveform MakeNrzWaveform(size_t points, uint32_t seed, const NrzOptions& options) {
    Waveform wave;
    const int samplesPerBit = std::max(1, options.samplesPerBit);
    const int edge = std::clamp(options.edgeSamples, 0, samplesPerBit - 1);
    wave.sampleIntervalS = 1.0 / (options.bitRate * samplesPerBit);
    wave.volts.resize(points);
    uint32_t state = seed & 0x7F;
    if (state == 0) state = 0x7F;
    auto nextBit = [&state] {
        uint32_t bit = ((state >> 6) ^ (state >> 5)) & 1;  // x^7 + x^6 + 1
        state = ((state << 1) | bit) & 0x7F;
        return bit;
    };
    double previous = nextBit() ? options.highV : options.lowV;
    double current = previous;
    for (size_t i = 0; i < points; ++i) {
        size_t phase = i % static_cast<size_t>(samplesPerBit);
        if (phase == 0 && i > 0) {
            previous = current;
            current = nextBit() ? options.highV : options.lowV;
        }
        double v = current;
        if (current != previous && phase < static_cast<size_t>(edge))
            v = previous + (current - previous) * static_cast<double>(phase + 1) / (edge + 1);
        wave.volts[i] = static_cast<float>(v);
    }
    return wave;
}

}  // namespace kestrava::scopesim
