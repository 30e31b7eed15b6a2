#include "session/MemoryRecord.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "instrument/Wdm.h"

namespace kestrava {
namespace {

// Blocks of the length a file import hands over; any multiple of 16 keeps the decode's
// lane statistics those of the file.
constexpr std::size_t kBlockPoints = 16384;
// Bit positions are 32-bit sample indexes.
constexpr std::int64_t kMaxSamples = std::numeric_limits<std::int32_t>::max() - 8;

template <class Raw>
void Convert(const unsigned char* raw, std::size_t count, double scale, double offset,
             double* out) {
    for (std::size_t i = 0; i < count; ++i) {
        Raw sample;
        std::memcpy(&sample, raw + i * sizeof(Raw), sizeof(Raw));
        out[i] = static_cast<double>(sample) * scale + offset;
    }
}

void ConvertBlock(SampleFormat format, const unsigned char* raw, std::size_t count, double scale,
                  double offset, double* out) {
    switch (format) {
        case SampleFormat::Int8:
            return Convert<std::int8_t>(raw, count, scale, offset, out);
        case SampleFormat::Int16:
            return Convert<std::int16_t>(raw, count, scale, offset, out);
        case SampleFormat::Int32:
            return Convert<std::int32_t>(raw, count, scale, offset, out);
        case SampleFormat::UInt32:
            return Convert<std::uint32_t>(raw, count, scale, offset, out);
        case SampleFormat::Float:
            return Convert<float>(raw, count, scale, offset, out);
        case SampleFormat::Double:
            return Convert<double>(raw, count, scale, offset, out);
    }
}

}  // namespace

int MemoryRecord::SampleSize(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return 1;
        case SampleFormat::Int16:
            return 2;
        case SampleFormat::Int32:
        case SampleFormat::UInt32:
        case SampleFormat::Float:
            return 4;
        case SampleFormat::Double:
            return 8;
    }
    return 1;
}

MemoryRecord::MemoryRecord(std::span<const unsigned char> raw, const RecordDescription& description)
    : raw_(raw), description_(description) {
    description_.sampleSize = SampleSize(description.format);
    description_.rawReversed = false;
    description_.count = static_cast<std::int64_t>(raw.size()) / description_.sampleSize;
}

std::string MemoryRecord::Problem() const {
    const RecordDescription& d = description_;
    if (d.count <= 0) return "no samples";
    if (d.count > kMaxSamples) return "more samples than a decode holds (2147483639)";
    if (!(d.sampleIntervalS > 0.0) || !std::isfinite(d.sampleIntervalS))
        return "the sample interval must be a number of seconds above zero";
    if (!std::isfinite(d.scale) || !std::isfinite(d.offset) || d.scale == 0.0)
        return "the scale must be a number other than zero and the offset a number";
    if (!std::isfinite(d.firstPointTimeS) || !std::isfinite(d.triggerOffsetS))
        return "the first point time and the trigger offset must be numbers";
    return {};
}

std::int64_t MemoryRecord::Stream(RecordDescription& description, RecordSink& sink) const {
    description = description_;
    if (!Problem().empty()) return 0;
    return WdmStreamWaveformRecord(
        description_, [this](RecordSink& to) { return Feed(to); }, sink);
}

bool MemoryRecord::Feed(RecordSink& sink) const {
    const bool volts = sink.WantsVolts();
    std::vector<double> block(volts ? kBlockPoints : 0);
    const auto size = static_cast<std::size_t>(description_.sampleSize);
    const auto count = static_cast<std::size_t>(description_.count);
    for (std::size_t first = 0; first < count; first += kBlockPoints) {
        const std::size_t part = std::min(kBlockPoints, count - first);
        const unsigned char* raw = raw_.data() + first * size;
        if (volts)
            ConvertBlock(description_.format, raw, part, description_.scale, description_.offset,
                         block.data());
        sink.Take({block.data(), volts ? part : 0}, {raw, part * size});
    }
    return true;
}

}  // namespace kestrava
