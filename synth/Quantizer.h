// Quantises volts to the sample formats a waveform file holds: signed 8-bit, signed
// 16-bit or 32-bit float, with the scale and offset that turn raw values back into
// volts (volts = raw × scale + offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kestrava::synth {

struct AnalogOptions;

enum class SampleFormat : std::uint8_t { Int8, Int16, Float32 };
std::optional<SampleFormat> SampleFormatNamed(std::string_view name);  // "int8", "int16", "float"
std::string_view SampleFormatName(SampleFormat format);
std::size_t BytesPerSample(SampleFormat format);

struct QuantizedRecord {
    SampleFormat format = SampleFormat::Int8;
    double scaleV = 1.0;
    double offsetV = 0.0;
    std::vector<std::int8_t> int8;    // filled for Int8
    std::vector<std::int16_t> int16;  // filled for Int16
    std::vector<float> float32;       // filled for Float32

    std::size_t Size() const;
    double RawAt(std::size_t i) const;
    double VoltsAt(std::size_t i) const { return RawAt(i) * scaleV + offsetV; }
};

class Quantizer {
  public:
    // halfRangeV above and below offsetV maps to raw ±100 (8-bit) or ±25600 (16-bit),
    // leaving headroom before the ends clip. Float samples are volts (scale 1, offset 0).
    Quantizer(SampleFormat format, double halfRangeV, double offsetV);
    // A range that holds the signal of these options with its noise.
    static Quantizer ForSignal(SampleFormat format, const AnalogOptions& options);

    SampleFormat Format() const { return format_; }
    double ScaleV() const { return scaleV_; }
    double OffsetV() const { return offsetV_; }
    QuantizedRecord Quantize(std::span<const double> volts) const;
    // The same into a record kept from block to block, its samples replaced.
    void QuantizeInto(std::span<const double> volts, QuantizedRecord& record) const;

    static constexpr double kInt8Reach = 100.0;
    static constexpr double kInt16Reach = 25600.0;

  private:
    SampleFormat format_;
    double scaleV_;
    double offsetV_;
};

}  // namespace kestrava::synth
