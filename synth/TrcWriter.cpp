#include "synth/TrcWriter.h"

#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "synth/ByteBuffer.h"
#include "synth/MemorySink.h"
#include "synth/RawWriter.h"
#include "synth/RecordSamples.h"

namespace kestrava::synth {
namespace {

constexpr std::size_t kDescriptorSize = 346;
// "#9" and nine digits: the prefix counts at most this many bytes.
constexpr std::uint64_t kMostPrefixed = 999'999'999;

}  // namespace

std::vector<std::uint8_t> TrcWriter::Serialize(const QuantizedRecord& record,
                                               double sampleIntervalS, double firstPointTimeS,
                                               bool bigEndian, bool blockPrefix, int segments) {
    RecordSamples samples(record);
    MemorySink sink;
    Write(samples, sampleIntervalS, firstPointTimeS, bigEndian, blockPrefix, segments, sink);
    return sink.Take();
}

void TrcWriter::Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                      bool bigEndian, bool blockPrefix, int segments, ByteSink& out) {
    const RecordShape record = samples.Shape();
    if (record.format == SampleFormat::Float32)
        throw std::invalid_argument("a .trc file holds 8- or 16-bit samples, not floats");
    if (segments < 1) throw std::invalid_argument("a .trc record has one segment at least");
    const bool bytes = record.format == SampleFormat::Int8;
    const std::uint64_t sampleBytes = static_cast<std::uint64_t>(record.count) * (bytes ? 1 : 2);
    const std::uint64_t fileBytes = kDescriptorSize + (segments > 1 ? 16ull * segments : 0ull) +
                                    sampleBytes * static_cast<std::uint64_t>(segments);
    // The descriptor counts points and bytes in 32-bit signed fields.
    if (sampleBytes * static_cast<std::uint64_t>(segments) >
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error(std::to_string(record.count) + " samples in " +
                                std::to_string(segments) +
                                " segments: more than a .trc file may hold");
    if (blockPrefix && fileBytes > kMostPrefixed)
        throw std::length_error(std::to_string(fileBytes) +
                                " bytes: more than a .trc block prefix may count (" +
                                std::to_string(kMostPrefixed) + ")");
    const auto points = static_cast<std::int32_t>(record.count);
    const std::int32_t total = points * segments;
    const std::int32_t trigTimes = segments > 1 ? 16 * segments : 0;

    ByteBuffer d(bigEndian);
    d.Grow(kDescriptorSize);
    d.TextAt(0, "WAVEDESC", 16);
    d.TextAt(16, "LECROY_2_3", 16);
    d.PutAt<std::int16_t>(32, bytes ? 0 : 1);
    d.PutAt<std::int16_t>(34, bigEndian ? 0 : 1);
    d.PutAt<std::int32_t>(36, 346);
    d.PutAt<std::int32_t>(48, trigTimes);
    d.PutAt<std::int32_t>(60, total * (bytes ? 1 : 2));
    d.TextAt(76, "KESTRAVA-SYNTH", 16);
    d.TextAt(96, "C1", 16);
    d.PutAt<std::int32_t>(116, total);
    d.PutAt<std::int32_t>(120, points);
    d.PutAt<std::int32_t>(128, points - 1);
    d.PutAt<std::int32_t>(136, 1);
    d.PutAt<std::int32_t>(144, segments);
    d.PutAt<std::int32_t>(148, 1);
    d.PutAt<float>(156, static_cast<float>(record.scaleV));
    d.PutAt<float>(160, static_cast<float>(-record.offsetV));
    d.PutAt<std::int16_t>(172, bytes ? 8 : 16);
    d.PutAt<std::int16_t>(174, static_cast<std::int16_t>(segments));
    d.PutAt<float>(176, static_cast<float>(sampleIntervalS));
    d.PutAt<double>(180, firstPointTimeS);
    d.TextAt(196, "V", 48);
    d.TextAt(244, "S", 48);
    d.PutAt<std::int16_t>(316, segments > 1 ? 7 : 0);
    for (int s = 0; segments > 1 && s < segments; ++s) {
        d.Append<double>(0.0);  // trigger time of the segment
        d.Append<double>(firstPointTimeS);
    }
    if (blockPrefix) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "#9%09llu",
                      static_cast<unsigned long long>(fileBytes));
        out.Write({reinterpret_cast<const std::uint8_t*>(prefix), 11});
    }
    out.Write(d.Bytes());
    const std::uint64_t first = out.Size();
    if (RawWriter::Write(samples, bigEndian, out) != record.count)
        throw std::logic_error("the samples ended before the record did");
    for (int s = 1; s < segments; ++s) out.Repeat(first, sampleBytes);
}

}  // namespace kestrava::synth
