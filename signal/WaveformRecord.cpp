#include "signal/WaveformRecord.h"

#include <cstring>

namespace kestrava {
namespace {

// The largest and smallest of count bytes, sixteen at a time in vector registers: a view
// of a whole long record spans a hundred million of them. Bytes are compared unsigned
// after flipping their sign bit, which keeps their order and needs no more than SSE2.
CodeRange RangeOf(const std::int8_t* codes, std::size_t count) {
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const Bytes sign = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    Bytes high = {}, low = ~high;
    std::size_t s = 0;
    for (; s + sizeof(Bytes) <= count; s += sizeof(Bytes)) {
        Bytes v;
        std::memcpy(&v, codes + s, sizeof v);
        v ^= sign;
        const Bytes above = reinterpret_cast<Bytes>(v > high),
                    below = reinterpret_cast<Bytes>(v < low);
        high = (v & above) | (high & ~above);
        low = (v & below) | (low & ~below);
    }
    CodeRange range;
    for (std::size_t j = 0; s >= sizeof(Bytes) && j < sizeof(Bytes); ++j) {
        range.largest = std::max<int>(range.largest, static_cast<std::int8_t>(high[j] ^ 0x80));
        range.smallest = std::min<int>(range.smallest, static_cast<std::int8_t>(low[j] ^ 0x80));
    }
    for (; s < count; ++s) {
        range.largest = std::max<int>(range.largest, codes[s]);
        range.smallest = std::min<int>(range.smallest, codes[s]);
    }
    return range;
}

}  // namespace

CodeRange WaveformRecord::CodesOf(std::size_t first, std::size_t count) const {
    if (!HasInt8Samples()) return RangeOf(codes.data() + first, count);
    const std::int8_t* samples = Int8Samples().data() + first;
    // Where the codes between the smallest and the largest sample never turn back, those
    // two samples' codes are the extremes; only a table that wraps is read sample by sample.
    const CodeRange values = RangeOf(samples, count);
    if (count == 0) return values;
    auto code = [this](int value) { return int8Codes[static_cast<std::uint8_t>(value)]; };
    bool rising = true, falling = true;
    for (int v = values.smallest; v < values.largest; ++v) {
        rising = rising && code(v) <= code(v + 1);
        falling = falling && code(v) >= code(v + 1);
    }
    if (rising || falling) {
        const int a = code(values.smallest), b = code(values.largest);
        return {std::max(a, b), std::min(a, b)};
    }
    CodeRange range;
    for (std::size_t s = 0; s < count; ++s) {
        range.largest = std::max<int>(range.largest, code(samples[s]));
        range.smallest = std::min<int>(range.smallest, code(samples[s]));
    }
    return range;
}

}  // namespace kestrava
