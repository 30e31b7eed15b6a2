#include "synth/AgBinWriter.h"

#include "synth/ByteBuffer.h"
#include "synth/RawWriter.h"

namespace kestrava::synth {
namespace {

constexpr std::int32_t kNormalWaveform = 1;
constexpr std::int32_t kLogicWaveform = 6;
constexpr std::int16_t kNormalBuffer = 1;
constexpr std::int16_t kDigitalBuffer = 6;

void AppendWaveformHeader(ByteBuffer& b, std::int32_t type, std::int32_t points, double intervalS,
                          double firstS) {
    const std::size_t at = b.Size();
    b.Grow(140);
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

}  // namespace

std::vector<std::uint8_t> AgBinWriter::Serialize(const QuantizedRecord& record,
                                                 double sampleIntervalS, double firstPointTimeS,
                                                 bool logicFirst) {
    const auto points = static_cast<std::int32_t>(record.Size());
    const auto width = static_cast<std::int16_t>(BytesPerSample(record.format));
    ByteBuffer b(false);
    b.Grow(12);
    b.TextAt(0, "AG10", 4);
    b.PutAt<std::int32_t>(8, logicFirst ? 2 : 1);
    if (logicFirst) {
        AppendWaveformHeader(b, kLogicWaveform, points, sampleIntervalS, firstPointTimeS);
        AppendDataHeader(b, kDigitalBuffer, 1, points);
        b.Grow(static_cast<std::size_t>(points));
    }
    AppendWaveformHeader(b, kNormalWaveform, points, sampleIntervalS, firstPointTimeS);
    AppendDataHeader(b, kNormalBuffer, width, points * width);
    // Float samples are volts already (scale 1, offset 0); integers are the scope's codes.
    RawWriter::AppendSamples(record, b);
    b.PutAt<std::int32_t>(4, static_cast<std::int32_t>(b.Size()));
    return std::move(b.Bytes());
}

}  // namespace kestrava::synth
