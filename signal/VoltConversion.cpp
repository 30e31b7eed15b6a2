#include "signal/VoltConversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "base/HugePages.h"
#include "base/Workers.h"

namespace kestrava {
namespace {

// Lane sums of 8-bit samples are 32-bit; this many samples per lane cannot overflow one.
constexpr std::size_t kInt8SumRun = kSampleBlock << 20;

// Restricted pointers: the stores are of bytes, which may alias anything, and would
// otherwise make the compiler reload the table's address for every sample.
void LookUpCodes(const unsigned char* __restrict raw, std::size_t count,
                 const std::int8_t* __restrict table, std::int8_t* __restrict codes) {
    for (std::size_t i = 0; i < count; ++i) codes[i] = table[raw[i]];
}

// True when the table never decreases or never increases, with no NaN: the largest and
// smallest float of any set of samples are then the floats of its largest and smallest
// sample value.
bool Monotonic(const std::array<float, 256>& table) {
    bool rising = true, falling = true;
    for (int value = -128; value < 127; ++value) {
        const float here = table[static_cast<std::uint8_t>(value)];
        const float next = table[static_cast<std::uint8_t>(value + 1)];
        if (std::isnan(here) || std::isnan(next)) return false;
        rising = rising && here <= next;
        falling = falling && here >= next;
    }
    return rising || falling;
}

}  // namespace

LaneStatistics::LaneStatistics(float first) {
    std::fill(maximum, maximum + kSampleBlock, first);
    std::fill(minimum, minimum + kSampleBlock, first);
}

void LaneStatistics::AddAll(std::span<const float> volts) {
    std::size_t i = 0;
    for (; i + kSampleBlock <= volts.size(); i += kSampleBlock) AddBlock(volts.data() + i);
    for (; i < volts.size(); ++i) Add(volts[i]);
}

void LaneStatistics::StoreInto(WaveformRecord& record, std::size_t count) const {
    float max = maximum[0], min = minimum[0];
    double total = sum[0];
    for (std::size_t j = 1; j < kSampleBlock; ++j) {
        max = maximum[j] > max ? maximum[j] : max;
        min = minimum[j] < min ? minimum[j] : min;
        total += sum[j];
    }
    record.maximum = max;
    record.minimum = min;
    record.mean = static_cast<float>(total / static_cast<double>(count));
}

Int8Statistics::Int8Statistics() {
    std::fill(largest, largest + kSampleBlock, std::int8_t{-128});
    std::fill(smallest, smallest + kSampleBlock, std::int8_t{127});
}

void Int8Statistics::Add(const std::int8_t* __restrict samples, std::size_t count) {
    // Local lanes: the samples are bytes, which may alias the members, and the compiler
    // would otherwise store and reload every lane for every block.
    std::int8_t high[kSampleBlock], low[kSampleBlock];
    std::copy(largest, largest + kSampleBlock, high);
    std::copy(smallest, smallest + kSampleBlock, low);
    for (std::size_t first = 0; first < count; first += kInt8SumRun) {
        const std::int8_t* __restrict s = samples + first;
        const std::size_t run = std::min(kInt8SumRun, count - first);
        std::int32_t lanes[kSampleBlock] = {};
        std::size_t i = 0;
        for (; i + kSampleBlock <= run; i += kSampleBlock)
            for (std::size_t j = 0; j < kSampleBlock; ++j) {
                high[j] = s[i + j] > high[j] ? s[i + j] : high[j];
                low[j] = s[i + j] < low[j] ? s[i + j] : low[j];
                lanes[j] += s[i + j];
            }
        for (; i < run; ++i) {
            high[0] = std::max(high[0], s[i]);
            low[0] = std::min(low[0], s[i]);
            lanes[0] += s[i];
        }
        for (std::int32_t lane : lanes) sum += lane;
    }
    std::copy(high, high + kSampleBlock, largest);
    std::copy(low, low + kSampleBlock, smallest);
}

void Int8Statistics::Merge(const Int8Statistics& other) {
    for (std::size_t j = 0; j < kSampleBlock; ++j) {
        largest[j] = std::max(largest[j], other.largest[j]);
        smallest[j] = std::min(smallest[j], other.smallest[j]);
    }
    sum += other.sum;
}

std::int8_t Int8Statistics::Largest() const {
    return *std::max_element(largest, largest + kSampleBlock);
}

std::int8_t Int8Statistics::Smallest() const {
    return *std::min_element(smallest, smallest + kSampleBlock);
}

double CodeStep(double scale, SampleFormat format) {
    switch (format) {
        case SampleFormat::Float:
            return scale * 256.0 / 65535.0;
        case SampleFormat::Int8:
            return scale;
        default:
            return scale * 256.0;
    }
}

bool VoltConversion::Begin(const RecordDescription& record) {
    const std::int64_t count = record.count;
    if (count > 0 && static_cast<std::uint64_t>(count) > limit_) refusedCount_ = count;
    if (count <= 0 || static_cast<std::uint64_t>(count) > limit_) return false;
    scale_ = record.scale;
    offset_ = record.offset;
    step_ = CodeStep(record.scale, record.format);
    TabulateInt8(record);
    expected_ = static_cast<std::size_t>(count);
    // An 8-bit record's samples are sized when the first block comes, as a mapped file
    // needs no copy; its codes are looked up in a table when drawn.
    if (!int8Tables_) {
        ResizeLarge(record_.codes, expected_);
        ResizeLarge(record_.voltages, expected_);
    }
    written_ = 0;
    int8Statistics_ = Int8Statistics();
    return true;
}

void VoltConversion::TabulateInt8(const RecordDescription& record) {
    int8CodesTabulated_ = record.format == SampleFormat::Int8;
    int8Identity_ = int8CodesTabulated_;
    for (int value = -128; int8CodesTabulated_ && value < 128; ++value) {
        const double volts =
            Int8SampleVolts(static_cast<std::int8_t>(value), record.scale, record.offset);
        const std::int8_t code = LowByteOfTruncated((volts - offset_) / step_);
        record_.int8Codes[static_cast<std::uint8_t>(value)] = code;
        record_.int8Volts[static_cast<std::uint8_t>(value)] = static_cast<float>(volts);
        int8Identity_ = int8Identity_ && code == value;
    }
    int8Tables_ = int8CodesTabulated_ && Monotonic(record_.int8Volts);
}

void VoltConversion::Take(std::span<const double> points, std::span<const unsigned char> raw) {
    if (int8Tables_)
        TakeInt8(raw);
    else
        TakeVolts(points, raw);
}

void VoltConversion::TakeMapped(std::shared_ptr<const MappedFile> samples) {
    if (!int8Tables_ || written_ != 0 || !samples) return;
    const std::size_t count = std::min(samples->Bytes().size(), expected_);
    const auto* first = reinterpret_cast<const std::int8_t*>(samples->Bytes().data());
    // Block by block on the workers; the sums are whole numbers, so merging the blocks in
    // any grouping gives the same statistics.
    const std::size_t block = Workers::BlockSamples();
    std::vector<Int8Statistics> parts((count + block - 1) / block);
    Workers::ForEach(parts.size(), [&](std::size_t k) {
        parts[k].Add(first + k * block, std::min(block, count - k * block));
    });
    for (const Int8Statistics& part : parts) int8Statistics_.Merge(part);
    record_.int8Mapping = std::move(samples);
    written_ = count;
}

void VoltConversion::TakeInt8(std::span<const unsigned char> raw) {
    if (record_.int8Mapping) return;
    if (record_.int8Samples.empty()) ResizeLarge(record_.int8Samples, expected_);
    const std::size_t count = std::min(raw.size(), record_.int8Samples.size() - written_);
    if (count == 0) return;
    std::memcpy(record_.int8Samples.data() + written_, raw.data(), count);
    int8Statistics_.Add(reinterpret_cast<const std::int8_t*>(raw.data()), count);
    written_ += count;
}

void VoltConversion::TakeVolts(std::span<const double> points, std::span<const unsigned char> raw) {
    const std::size_t count = std::min(points.size(), record_.voltages.size() - written_);
    if (count == 0) return;
    if (written_ == 0) statistics_ = LaneStatistics(static_cast<float>(points[0]));
    ConvertCodes(points.first(count), raw, record_.codes.data() + written_);
    ConvertFloats(points.first(count), record_.voltages.data() + written_);
    written_ += count;
}

bool VoltConversion::Finish(std::int64_t count) {
    const std::size_t kept = !int8Tables_ ? record_.voltages.size()
                             : record_.int8Mapping
                                 ? std::min(record_.int8Mapping->Bytes().size(), expected_)
                                 : record_.int8Samples.size();
    if (count <= 0 || written_ != static_cast<std::size_t>(count) || written_ != kept) return false;
    if (!int8Tables_) {
        statistics_.StoreInto(record_, written_);
        return true;
    }
    // The table is monotonic, so the extreme floats are those of the extreme samples.
    const float a = record_.int8Volts[static_cast<std::uint8_t>(int8Statistics_.Smallest())];
    const float b = record_.int8Volts[static_cast<std::uint8_t>(int8Statistics_.Largest())];
    record_.maximum = std::max(a, b);
    record_.minimum = std::min(a, b);
    // Every float is its sample times the scale plus the offset, so their mean is the
    // mean sample's.
    const double meanSample =
        static_cast<double>(int8Statistics_.sum) / static_cast<double>(written_);
    record_.mean = static_cast<float>(meanSample * scale_ + offset_);
    return true;
}

void VoltConversion::ConvertCodes(std::span<const double> points,
                                  std::span<const unsigned char> raw,
                                  std::int8_t* __restrict codes) const {
    const std::size_t count = points.size();
    if (int8CodesTabulated_ && raw.size() >= count) {
        if (int8Identity_)
            std::memcpy(codes, raw.data(), count);
        else
            LookUpCodes(raw.data(), count, record_.int8Codes.data(), codes);
        return;
    }
    const double* __restrict v = points.data();
    for (std::size_t i = 0; i < count; ++i) codes[i] = LowByteOfTruncated((v[i] - offset_) / step_);
}

void VoltConversion::ConvertFloats(std::span<const double> points, float* __restrict voltages) {
    const double* __restrict v = points.data();
    const std::size_t count = points.size();
    LaneStatistics statistics = statistics_;
    std::size_t i = 0;
    for (; i + kSampleBlock <= count; i += kSampleBlock) {
        float f[kSampleBlock];
        for (std::size_t j = 0; j < kSampleBlock; ++j)
            voltages[i + j] = f[j] = static_cast<float>(v[i + j]);
        statistics.AddBlock(f);
    }
    for (; i < count; ++i) statistics.Add(voltages[i] = static_cast<float>(v[i]));
    statistics_ = statistics;
}

}  // namespace kestrava
