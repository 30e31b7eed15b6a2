#include "signal/BitLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "base/Folders.h"
#include "base/HexText.h"

namespace kestrava {
namespace {

constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t SaturatedInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= kInt32Max) return std::numeric_limits<std::int32_t>::max();
    if (x <= kInt32Min) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Rounds halves down: the truncation, one up when the fraction is above a half.
inline std::int32_t RoundedHalfDown(double x) {
    std::int32_t t = SaturatedInt32(x);
    if (x - static_cast<double>(t) > 0.5 && t < std::numeric_limits<std::int32_t>::max())
        return t + 1;
    return t;
}

}  // namespace

std::int32_t NearestInteger(double x) {
    return RoundedHalfDown(x);
}

void BitFill(std::int32_t span, std::int32_t start, std::int64_t n, std::int8_t level,
             std::int32_t& cursor, BitStream& bits) {
    if (n <= 0) return;
    // A 32-bit division where the count allows it: this runs once per edge.
    const std::int64_t s = n <= std::numeric_limits<std::int32_t>::max()
                               ? span / static_cast<std::int32_t>(n)
                               : static_cast<std::int64_t>(span) / n;
    const std::int32_t end = std::min<std::int32_t>(
        bits.bitCount, static_cast<std::int32_t>(std::min<std::int64_t>(
                           n + cursor, std::numeric_limits<std::int32_t>::max())));
    // Plain pointers: a store through the byte array would otherwise make the compiler
    // reload the vectors' fields on every bit.
    std::int8_t* __restrict levels = bits.bits.data();
    std::int32_t* __restrict positions = bits.bitPositions.data();
    std::int32_t at = cursor;
    const std::int64_t count = end > at ? end - at : 0;
    // Whole samples per bit, from a position at or after the record's start and never
    // past the 32-bit range: bit i's centre start + s/2 + i*s rounds half down to
    // start + i*s + floor(s/2), so the positions are counted in integers.
    if (s >= 0 && s < (1 << 24) && start >= 0 &&
        start + (count + 1) * s < std::numeric_limits<std::int32_t>::max()) {
        std::int32_t position = start + static_cast<std::int32_t>(s / 2) + 1;
        for (; at < end; ++at, position += static_cast<std::int32_t>(s)) {
            levels[at] = level;
            positions[at] = position;
        }
        cursor = at;
        return;
    }
    const double step = static_cast<float>(s);
    // Double precision: a float loses whole samples in records beyond 2^24 points.
    const double first = static_cast<double>(start) + step / 2.0;
    for (std::int64_t i = 0; at < end; ++i, ++at) {
        levels[at] = level;
        // One-based, saturated: a centre beyond the 32-bit range stays at its end.
        const std::int32_t centre = RoundedHalfDown(first + static_cast<double>(i) * step);
        positions[at] = centre < std::numeric_limits<std::int32_t>::max() ? centre + 1 : centre;
    }
    cursor = at;
}

bool LayOutBits(const EdgeLists& edges, float bitRateBps, std::uint32_t sampleCount,
                BitStream& bits) {
    const auto nR = static_cast<std::int64_t>(edges.risingPositions.size());
    const auto nF = static_cast<std::int64_t>(edges.fallingPositions.size());
    if (nR == 0 || nF == 0 || std::llabs(nR - nF) > 1) return false;
    const std::int64_t total = nR + nF;
    const EdgeTimeBase& timeBase = edges.timeBase;

    const bool firstRising = timeBase.Seconds(edges.risingPositions.front()) <=
                             timeBase.Seconds(edges.fallingPositions.front());
    const std::span<const double> firstPositions =
        firstRising ? edges.risingPositions : edges.fallingPositions;
    const std::span<const double> secondPositions =
        firstRising ? edges.fallingPositions : edges.risingPositions;
    const double t0 = timeBase.Seconds(firstPositions.front());
    const double t1 = std::max(timeBase.Seconds(edges.risingPositions.back()),
                               timeBase.Seconds(edges.fallingPositions.back()));

    // The bit count comes from the file's time base, which is untrusted: it is bounded by
    // the record's samples, as no record carries more bits than samples.
    const double wanted = static_cast<double>(bitRateBps) * (t1 - t0);
    const double limit = std::min<double>(sampleCount, kInt32Max - 4);
    const std::int32_t bitCount =
        wanted > 0.0 ? static_cast<std::int32_t>(std::min(wanted, limit)) : 0;

    BitStream out;
    out.bitCount = bitCount;
    out.bits.assign(static_cast<std::size_t>(bitCount) + 4, 0);
    out.bitPositions.assign(static_cast<std::size_t>(bitCount) + 4, 0);
    std::int32_t cursor = 0;
    const double rate = bitRateBps;
    // Alternate between the lists, beginning with the first edge's, until the list whose
    // turn it is runs out. The bits after an edge of the first list are of the first
    // list's kind.
    std::int32_t previous = SaturatedInt32(std::ceil(firstPositions.front()));
    double previousTime = t0;
    std::int8_t level = firstRising ? 1 : -1;
    for (std::int64_t k = 1; k < total; ++k, level = static_cast<std::int8_t>(-level)) {
        const std::span<const double> list = k % 2 == 0 ? firstPositions : secondPositions;
        const auto index = static_cast<std::size_t>(k / 2);
        if (index >= list.size()) break;
        const std::int32_t position = SaturatedInt32(std::ceil(list[index]));
        const double time = timeBase.Seconds(list[index]);
        const double count = std::floor(rate * (time - previousTime) + 0.5);
        if (count > 0.0) {
            const std::int64_t n = count >= 4.0e18 ? std::int64_t{4'000'000'000'000'000'000}
                                                   : static_cast<std::int64_t>(count);
            BitFill(position - previous, previous, n, level, cursor, out);
        }
        previous = position;
        previousTime = time;
    }

    out.levels = std::move(bits.levels);
    out.samplesPerBit = bits.samplesPerBit;
    if (sampleCount > 0) {
        const double edgesPerSample = static_cast<double>(total) / static_cast<double>(sampleCount);
        out.samplesPerBit = NearestInteger(static_cast<float>(0.87255125 / edgesPerSample));
    }
    bits = std::move(out);
    return true;
}

int DecodeTimeEstimateS(std::int64_t edges) {
    return static_cast<int>(static_cast<double>(edges) * 0.000131 + 17.0);
}

void WriteBitDumps(const BitStream& bits, const std::string& folder) {
    const std::int64_t stop = static_cast<std::int64_t>(bits.bitCount) - 8;
    // Lines are gathered and written a chunk at a time.
    constexpr std::size_t kChunk = 1 << 16;
    std::string text;
    auto flush = [&text](std::FILE* file, std::size_t atLeast) {
        if (text.size() < atLeast) return;
        std::fwrite(text.data(), 1, text.size(), file);
        text.clear();
    };
    if (UniqueFile file{std::fopen(Folders::Join(folder, "8bit-dump.csv").c_str(), "w")}) {
        for (std::int64_t i = 0; i < stop; i += 8) {
            unsigned byte = 0;
            for (int b = 0; b < 8; ++b)
                if (bits.bits[static_cast<std::size_t>(i + b)] < 0) byte |= 0x80u >> b;
            if (byte <= 15) text += '0';
            AppendHex(text, byte);
            text += '\n';
            flush(file.get(), kChunk);
        }
        flush(file.get(), 0);
    }
    if (UniqueFile file{std::fopen(Folders::Join(folder, "awg-marker-dump.csv").c_str(), "w")}) {
        for (std::int64_t i = 0; i < stop; ++i) {
            text += bits.bits[static_cast<std::size_t>(i)] < 0 ? "0,0,0\n" : "0,1,0\n";
            flush(file.get(), kChunk);
        }
        flush(file.get(), 0);
    }
}

}  // namespace kestrava
