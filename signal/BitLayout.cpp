#include "signal/BitLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "base/Folders.h"
#include "base/HexText.h"
#include "base/Workers.h"

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

namespace {

// The crossings of a run in time order, alternating between the list of the first edge
// and the other; crossing k is read from its list at k / 2.
class CrossingWalk {
  public:
    CrossingWalk(std::span<const double> first, std::span<const double> second,
                 const EdgeTimeBase& timeBase)
        : first_(first), second_(second), timeBase_(timeBase) {}

    // Crossings up to the first whose list has run out.
    std::int64_t Count() const {
        const auto f = static_cast<std::int64_t>(first_.size());
        const auto s = static_cast<std::int64_t>(second_.size());
        return std::min(2 * f, 2 * s + 1);
    }
    double Point(std::int64_t k) const {
        return (k % 2 == 0 ? first_ : second_)[static_cast<std::size_t>(k / 2)];
    }
    std::int32_t Position(std::int64_t k) const { return SaturatedInt32(std::ceil(Point(k))); }
    double Time(std::int64_t k) const { return timeBase_.Seconds(Point(k)); }

  private:
    std::span<const double> first_;
    std::span<const double> second_;
    EdgeTimeBase timeBase_;
};

// Whole bits between two crossings this far apart at the bit rate; 0 when none.
std::int64_t BitsBetween(double seconds, double rate) {
    const double count = std::floor(rate * seconds + 0.5);
    if (!(count > 0.0)) return 0;
    return count >= 4.0e18 ? std::int64_t{4'000'000'000'000'000'000}
                           : static_cast<std::int64_t>(count);
}

// Walks crossings begin to end - 1 (begin at least 1), handing step the crossing, the
// bits since the one before and that one's position.
template <class Step>
void WalkBits(const CrossingWalk& walk, std::int64_t begin, std::int64_t end, double rate,
              Step step) {
    double previousTime = walk.Time(begin - 1);
    for (std::int64_t k = begin; k < end; ++k) {
        const double time = walk.Time(k);
        step(k, BitsBetween(time - previousTime, rate));
        previousTime = time;
    }
}

// a + b for counts that may be huge: saturated well inside 64 bits.
std::int64_t AddCounts(std::int64_t a, std::int64_t b) {
    constexpr std::int64_t kMost = std::int64_t{1} << 62;
    return a >= kMost - b ? kMost : a + b;
}

// Bits go between neighbouring crossings, of the kind of the earlier one: the first list's
// kind after its crossings. Where a stretch of crossings starts writing is the count of
// bits before it, so stretches are laid out on the workers once those counts are added
// up; a bit past the bit count is dropped as one pass would drop it.
void FillBits(const CrossingWalk& walk, std::int64_t total, double rate, bool firstRising,
              BitStream& out) {
    const std::int64_t crossings = std::min(walk.Count(), total);
    // One worker walks every crossing once, with nothing to count ahead.
    const bool alone = Workers::Count() == 1;
    const auto stretch =
        alone ? std::max<std::int64_t>(crossings, 1)
              : static_cast<std::int64_t>(std::max<std::size_t>(Workers::BlockSamples() / 16, 1));
    const std::size_t stretches = static_cast<std::size_t>((crossings - 1 + stretch - 1) / stretch);
    auto stretchBegin = [&](std::size_t j) { return 1 + static_cast<std::int64_t>(j) * stretch; };
    auto stretchEnd = [&](std::size_t j) { return std::min(crossings, stretchBegin(j) + stretch); };
    std::vector<std::int64_t> starts(stretches + 1, 0);
    if (!alone) {
        Workers::ForEach(stretches, [&](std::size_t j) {
            std::int64_t sum = 0;
            WalkBits(walk, stretchBegin(j), stretchEnd(j), rate,
                     [&](std::int64_t, std::int64_t n) { sum = AddCounts(sum, n); });
            starts[j + 1] = sum;
        });
        for (std::size_t j = 0; j < stretches; ++j)
            starts[j + 1] =
                std::min<std::int64_t>(AddCounts(starts[j], starts[j + 1]), out.bitCount);
    }
    Workers::ForEach(stretches, [&](std::size_t j) {
        auto cursor = static_cast<std::int32_t>(starts[j]);
        const std::int64_t begin = stretchBegin(j);
        std::int32_t previous = walk.Position(begin - 1);
        std::int8_t level = (begin % 2 == 1) == firstRising ? 1 : -1;
        WalkBits(walk, begin, stretchEnd(j), rate, [&](std::int64_t k, std::int64_t n) {
            const std::int32_t position = walk.Position(k);
            if (n > 0) BitFill(position - previous, previous, n, level, cursor, out);
            previous = position;
            level = static_cast<std::int8_t>(-level);
        });
    });
}

}  // namespace

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
    FillBits(CrossingWalk(firstPositions, secondPositions, timeBase), total, bitRateBps,
             firstRising, out);

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
