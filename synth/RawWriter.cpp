#include "synth/RawWriter.h"

#include <bit>

#include "synth/MemorySink.h"
#include "synth/RecordSamples.h"

namespace kestrava::synth {
namespace {

template <typename Bits>
void AppendOrdered(Bits value, bool bigEndian, std::uint8_t* at) {
    for (std::size_t i = 0; i < sizeof(Bits); ++i) {
        const std::size_t shift = 8 * (bigEndian ? sizeof(Bits) - 1 - i : i);
        at[i] = static_cast<std::uint8_t>(value >> shift);
    }
}

template <typename T, typename Bits>
void AppendAll(const std::vector<T>& samples, bool bigEndian, std::vector<std::uint8_t>& bytes) {
    const std::size_t start = bytes.size();
    bytes.resize(start + samples.size() * sizeof(T));
    std::uint8_t* at = bytes.data() + start;
    for (const T sample : samples) {
        AppendOrdered(std::bit_cast<Bits>(sample), bigEndian, at);
        at += sizeof(T);
    }
}

}  // namespace

std::vector<std::uint8_t> RawWriter::Serialize(const QuantizedRecord& record, bool bigEndian) {
    RecordSamples samples(record);
    MemorySink sink;
    Write(samples, bigEndian, sink);
    return sink.Take();
}

std::size_t RawWriter::Write(SampleStream& samples, bool bigEndian, ByteSink& out) {
    QuantizedRecord block;
    std::vector<std::uint8_t> bytes;
    std::size_t written = 0;
    while (samples.Next(block)) {
        bytes.clear();
        AppendSamples(block, bigEndian, bytes);
        out.Write(bytes);
        written += block.Size();
    }
    return written;
}

void RawWriter::AppendSamples(const QuantizedRecord& block, bool bigEndian,
                              std::vector<std::uint8_t>& bytes) {
    switch (block.format) {
        case SampleFormat::Int8:
            AppendAll<std::int8_t, std::uint8_t>(block.int8, bigEndian, bytes);
            break;
        case SampleFormat::Int16:
            AppendAll<std::int16_t, std::uint16_t>(block.int16, bigEndian, bytes);
            break;
        case SampleFormat::Float32:
            AppendAll<float, std::uint32_t>(block.float32, bigEndian, bytes);
            break;
    }
}

}  // namespace kestrava::synth
