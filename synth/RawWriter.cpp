#include "synth/RawWriter.h"

#include "synth/ByteBuffer.h"

namespace kestrava::synth {

std::vector<std::uint8_t> RawWriter::Serialize(const QuantizedRecord& record, bool bigEndian) {
    ByteBuffer b(bigEndian);
    AppendSamples(record, b);
    return std::move(b.Bytes());
}

void RawWriter::AppendSamples(const QuantizedRecord& record, ByteBuffer& b) {
    for (std::size_t i = 0; i < record.Size(); ++i) {
        switch (record.format) {
            case SampleFormat::Int8:
                b.Append<std::int8_t>(record.int8[i]);
                break;
            case SampleFormat::Int16:
                b.Append<std::int16_t>(record.int16[i]);
                break;
            case SampleFormat::Float32:
                b.Append<float>(record.float32[i]);
                break;
        }
    }
}

}  // namespace kestrava::synth
