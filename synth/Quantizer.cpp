#include "synth/Quantizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "synth/AnalogSynth.h"

namespace kestrava::synth {

std::optional<SampleFormat> SampleFormatNamed(std::string_view name) {
    if (name == "int8") return SampleFormat::Int8;
    if (name == "int16") return SampleFormat::Int16;
    if (name == "float" || name == "float32") return SampleFormat::Float32;
    return std::nullopt;
}

std::string_view SampleFormatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return "int8";
        case SampleFormat::Int16:
            return "int16";
        case SampleFormat::Float32:
            return "float";
    }
    return "int8";
}

std::size_t BytesPerSample(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return 1;
        case SampleFormat::Int16:
            return 2;
        case SampleFormat::Float32:
            return 4;
    }
    return 1;
}

std::size_t QuantizedRecord::Size() const {
    switch (format) {
        case SampleFormat::Int8:
            return int8.size();
        case SampleFormat::Int16:
            return int16.size();
        case SampleFormat::Float32:
            return float32.size();
    }
    return 0;
}

double QuantizedRecord::RawAt(std::size_t i) const {
    switch (format) {
        case SampleFormat::Int8:
            return int8.at(i);
        case SampleFormat::Int16:
            return int16.at(i);
        case SampleFormat::Float32:
            return float32.at(i);
    }
    return 0.0;
}

Quantizer::Quantizer(SampleFormat format, double halfRangeV, double offsetV)
    : format_(format), scaleV_(1.0), offsetV_(0.0) {
    const double half = std::max(std::abs(halfRangeV), 1e-6);
    if (format == SampleFormat::Int8) scaleV_ = half / kInt8Reach;
    if (format == SampleFormat::Int16) scaleV_ = half / kInt16Reach;
    if (format != SampleFormat::Float32) offsetV_ = offsetV;
}

Quantizer Quantizer::ForSignal(SampleFormat format, const AnalogOptions& options) {
    const double half = options.amplitudeV / 2.0 + 6.0 * options.noiseRmsV;
    return Quantizer(format, half * 1.1, options.offsetV);
}

namespace {

template <typename T>
void Round(std::span<const double> volts, double scale, double offset, std::vector<T>& raw) {
    raw.resize(volts.size());
    constexpr double lo = std::numeric_limits<T>::min();
    constexpr double hi = std::numeric_limits<T>::max();
    for (std::size_t i = 0; i < volts.size(); ++i) {
        const double r = std::nearbyint((volts[i] - offset) / scale);
        raw[i] = static_cast<T>(std::clamp(std::isfinite(r) ? r : 0.0, lo, hi));
    }
}

}  // namespace

QuantizedRecord Quantizer::Quantize(std::span<const double> volts) const {
    QuantizedRecord record;
    QuantizeInto(volts, record);
    return record;
}

void Quantizer::QuantizeInto(std::span<const double> volts, QuantizedRecord& record) const {
    record.format = format_;
    record.scaleV = scaleV_;
    record.offsetV = offsetV_;
    switch (format_) {
        case SampleFormat::Int8:
            Round<std::int8_t>(volts, scaleV_, offsetV_, record.int8);
            break;
        case SampleFormat::Int16:
            Round<std::int16_t>(volts, scaleV_, offsetV_, record.int16);
            break;
        case SampleFormat::Float32:
            record.float32.assign(volts.begin(), volts.end());
            break;
    }
}

}  // namespace kestrava::synth
