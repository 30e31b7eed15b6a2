#include "tools/kestrava-scopesim/StoredRecord.h"

#include <algorithm>
#include <utility>

namespace kestrava::scopesim {

StoredRecord::StoredRecord(Waveform wave)
    : points_(wave.volts.size()), sampleIntervalS_(wave.sampleIntervalS) {
    samples_ = std::make_shared<const std::vector<float>>(std::move(wave.volts));
}

StoredRecord::StoredRecord(Waveform head, size_t repeatFrom, size_t points)
    : StoredRecord(std::move(head)) {
    if (samples_->empty()) return;
    repeatFrom_ = std::min(repeatFrom, samples_->size() - 1);
    points_ = points;
}

StoredRecord StoredRecord::Nrz(size_t points, uint32_t seed, const NrzOptions& options) {
    // A sample depends on its bit and the one before; the sequence repeats after 127 bits.
    const size_t bit = static_cast<size_t>(std::max(1, options.samplesPerBit));
    const size_t head = std::min(points, bit * 128);
    return StoredRecord(MakeNrzWaveform(head, seed, options), bit, points);
}

float StoredRecord::At(size_t i) const {
    const std::vector<float>& samples = *samples_;
    if (i < samples.size()) return samples[i];
    if (samples.empty()) return 0;
    const size_t period = samples.size() - repeatFrom_;
    return samples[repeatFrom_ + (i - repeatFrom_) % period];
}

void StoredRecord::Read(size_t first, size_t count, float* out) const {
    const std::vector<float>& samples = *samples_;
    if (samples.empty()) return;
    const size_t period = samples.size() - repeatFrom_;
    while (count > 0) {
        const size_t at =
            first < samples.size() ? first : repeatFrom_ + (first - repeatFrom_) % period;
        const size_t run = std::min(count, samples.size() - at);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at), run, out);
        out += run;
        first += run;
        count -= run;
    }
}

}  // namespace kestrava::scopesim
