#include "synth/AgBinWriter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "synth/ByteBuffer.h"
#include "synth/MemorySink.h"
#include "synth/RawWriter.h"
#include "synth/RecordSamples.h"

namespace kestrava::synth {
namespace {

constexpr std::int32_t kNormalWaveform = 1;
constexpr std::int32_t kLogicWaveform = 6;
constexpr std::int16_t kNormalBuffer = 1;
constexpr std::int16_t kDigitalBuffer = 6;
constexpr std::size_t kFileHeaderSize = 12;
constexpr std::size_t kWaveformHeaderSize = 140;
constexpr std::size_t kDataHeaderSize = 12;

void AppendWaveformHeader(ByteBuffer& b, std::int32_t type, std::int32_t points, double intervalS,
                          double firstS) {
    const std::size_t at = b.Size();
    b.Grow(kWaveformHeaderSize);
    b.PutAt<std::int32_t>(at, 140);
    b.PutAt<std::int32_t>(at + 4, type);
    b.PutAt<std::int32_t>(at + 8, 1);  // buffers
    b.PutAt<std::int32_t>(at + 12, points);
    b.PutAt<std::int32_t>(at + 16, 1);  // averaged count
    b.PutAt<float>(at + 20, static_cast<float>(points * intervalS));
    b.PutAt<double>(at + 24, firstS);
    b.PutAt<double>(at + 32, intervalS);
    b.PutAt<double>(at + 40, firstS);
    b.PutAt<std::int32_t>(at + 48, 2);  // seconds
    b.PutAt<std::int32_t>(at + 52, 1);  // volts
    b.TextAt(at + 88, "KESTRAVA:SYNTH", 24);
    b.TextAt(at + 112, type == kLogicWaveform ? "D0" : "CH1", 16);
}

void AppendDataHeader(ByteBuffer& b, std::int16_t type, std::int16_t width, std::int32_t bytes) {
    b.Append<std::int32_t>(12);
    b.Append<std::int16_t>(type);
    b.Append<std::int16_t>(width);
    b.Append<std::int32_t>(bytes);
}

void WriteZeros(ByteSink& out, std::size_t count) {
    const std::vector<std::uint8_t> zeros(std::min<std::size_t>(count, 1 << 20), 0);
    for (std::size_t done = 0; done < count; done += zeros.size())
        out.Write({zeros.data(), std::min(zeros.size(), count - done)});
}

}  // namespace

std::vector<std::uint8_t> AgBinWriter::Serialize(const QuantizedRecord& record,
                                                 double sampleIntervalS, double firstPointTimeS,
                                                 bool logicFirst) {
    RecordSamples samples(record);
    MemorySink sink;
    Write(samples, sampleIntervalS, firstPointTimeS, logicFirst, sink);
    return sink.Take();
}

void AgBinWriter::Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                        bool logicFirst, ByteSink& out) {
    const RecordShape record = samples.Shape();
    const std::size_t width = BytesPerSample(record.format);
    const std::size_t logicBytes =
        logicFirst ? kWaveformHeaderSize + kDataHeaderSize + record.count : 0;
    const std::uint64_t fileBytes = kFileHeaderSize + logicBytes + kWaveformHeaderSize +
                                    kDataHeaderSize +
                                    static_cast<std::uint64_t>(record.count) * width;
    // The file header counts the whole file in a 32-bit signed field.
    if (fileBytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error(std::to_string(record.count) +
                                " samples: more than a .bin file may hold");
    const auto points = static_cast<std::int32_t>(record.count);
    const auto sampleWidth = static_cast<std::int16_t>(width);
    ByteBuffer b(false);
    b.Grow(kFileHeaderSize);
    b.TextAt(0, "AG10", 4);
    b.PutAt<std::int32_t>(4, static_cast<std::int32_t>(fileBytes));
    b.PutAt<std::int32_t>(8, logicFirst ? 2 : 1);
    if (logicFirst) {
        AppendWaveformHeader(b, kLogicWaveform, points, sampleIntervalS, firstPointTimeS);
        AppendDataHeader(b, kDigitalBuffer, 1, points);
        out.Write(b.Bytes());
        WriteZeros(out, record.count);  // every logic line low
        b = ByteBuffer(false);
    }
    AppendWaveformHeader(b, kNormalWaveform, points, sampleIntervalS, firstPointTimeS);
    AppendDataHeader(b, kNormalBuffer, sampleWidth, points * sampleWidth);
    out.Write(b.Bytes());
    // Float samples are volts already (scale 1, offset 0); integers are the scope's codes.
    if (RawWriter::Write(samples, false, out) != record.count)
        throw std::logic_error("the samples ended before the record did");
}

}  // namespace kestrava::synth
