#include "synth/TrcWriter.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "synth/ByteBuffer.h"

namespace kestrava::synth {

std::vector<std::uint8_t> TrcWriter::Serialize(const QuantizedRecord& record,
                                               double sampleIntervalS, double firstPointTimeS,
                                               bool bigEndian, bool blockPrefix, int segments) {
    if (record.format == SampleFormat::Float32)
        throw std::invalid_argument("a .trc file holds 8- or 16-bit samples, not floats");
    if (segments < 1) throw std::invalid_argument("a .trc record has one segment at least");
    const bool bytes = record.format == SampleFormat::Int8;
    const auto points = static_cast<std::int32_t>(record.Size());
    const std::int32_t total = points * segments;
    const std::int32_t trigTimes = segments > 1 ? 16 * segments : 0;

    ByteBuffer d(bigEndian);
    d.Grow(346);
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
    for (int s = 0; s < segments; ++s)
        for (std::size_t i = 0; i < record.Size(); ++i) {
            if (bytes)
                d.Append<std::int8_t>(record.int8[i]);
            else
                d.Append<std::int16_t>(record.int16[i]);
        }
    std::vector<std::uint8_t> file = std::move(d.Bytes());
    if (!blockPrefix) return file;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "#9%09zu", file.size());
    file.insert(file.begin(), prefix, prefix + 11);
    return file;
}

}  // namespace kestrava::synth
