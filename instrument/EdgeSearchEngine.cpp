#include "instrument/EdgeSearchEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Workers.h"
#include "instrument/Int8Set.h"

namespace kestrava {
namespace {

// The interpolated point between samples i-1 and i where the signal reached the level.
inline double CrossingAt(std::size_t i, double previous, double x, double level) {
    double index = static_cast<double>(i);
    return x != previous ? (index - 1.0) + (level - previous) / (x - previous) : index - 0.5;
}

// The float a float sample compares with as with the double: the largest float at or
// below it (x > d and x <= d alike), or the smallest at or above it (x >= d).
float FloatAtMost(double d) {
    float f = static_cast<float>(d);
    if (f > d) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

float FloatAtLeast(double d) {
    float f = static_cast<float>(d);
    if (f < d) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

// The thresholds of one band as floats, each test for one sample and, where the machine
// has them, for four at once; NaN is treated as the state machine treats it: neither
// below nor at the level, and never beyond the band.
class Band {
  public:
    Band(float level, double upper, double lower)
        : level_(level),
          aboveUpper_(FloatAtMost(upper)),
          atLeastUpper_(FloatAtLeast(upper)),
          atMostLower_(FloatAtMost(lower)) {}

    bool NotBelow(float x) const { return !(x < level_); }
    bool AtOrBelow(float x) const { return x <= level_; }
    // A pending crossing is settled by a sample past the band on either side.
    bool SettledFromBelow(float x) const {
        return x < level_ ? x <= atMostLower_ : x > aboveUpper_;
    }
    bool SettledFromAbove(float x) const {
        return (x <= level_ && x <= atMostLower_) || (x > level_ && x >= atLeastUpper_);
    }
    // A sample beyond the band on its high side leaves every search above and settled,
    // one beyond its low side below and settled, whatever came before.
    bool DecisivelyHigh(float x) const {
        return x > level_ && x > aboveUpper_ && x >= atLeastUpper_;
    }
    bool DecisivelyLow(float x) const { return x < level_ && x <= atMostLower_; }
    bool Decisive(float x) const { return DecisivelyHigh(x) || DecisivelyLow(x); }

#if defined(__SSE2__)
    __m128 NotBelow(__m128 x) const {
        return _mm_cmpnlt_ps(x, Wide(level_));
    }
    __m128 AtOrBelow(__m128 x) const {
        return _mm_cmple_ps(x, Wide(level_));
    }
    __m128 SettledFromBelow(__m128 x) const {
        const __m128 below = _mm_cmplt_ps(x, Wide(level_));
        return _mm_or_ps(_mm_and_ps(below, _mm_cmple_ps(x, Wide(atMostLower_))),
                         _mm_andnot_ps(below, _mm_cmpgt_ps(x, Wide(aboveUpper_))));
    }
    __m128 SettledFromAbove(__m128 x) const {
        return _mm_or_ps(
            _mm_and_ps(_mm_cmple_ps(x, Wide(level_)), _mm_cmple_ps(x, Wide(atMostLower_))),
            _mm_and_ps(_mm_cmpgt_ps(x, Wide(level_)), _mm_cmpge_ps(x, Wide(atLeastUpper_))));
    }
    __m128 Decisive(__m128 x) const {
        const __m128 high = _mm_and_ps(
            _mm_cmpgt_ps(x, Wide(level_)),
            _mm_and_ps(_mm_cmpgt_ps(x, Wide(aboveUpper_)), _mm_cmpge_ps(x, Wide(atLeastUpper_))));
        const __m128 low =
            _mm_and_ps(_mm_cmplt_ps(x, Wide(level_)), _mm_cmple_ps(x, Wide(atMostLower_)));
        return _mm_or_ps(high, low);
    }

  private:
    static __m128 Wide(float value) {
        return _mm_set1_ps(value);
    }
#else
  private:
#endif
    float level_;
    float aboveUpper_;    // x > upper
    float atLeastUpper_;  // x >= upper
    float atMostLower_;   // x <= lower
};

// Samples are tested in blocks of this many; the first hit of a block is found from a bit
// mask of its compares instead of a walk through the block.
constexpr std::size_t kBlock = 16;

// First index from i whose sample passes the test, or count. The test takes one sample
// or, with SSE2, four.
template <class Test>
inline std::size_t FirstWhere(const float* x, std::size_t i, std::size_t count, Test test) {
#if defined(__SSE2__)
    for (; i + kBlock <= count; i += kBlock) {
        const unsigned mask =
            static_cast<unsigned>(_mm_movemask_ps(test(_mm_loadu_ps(x + i))) |
                                  _mm_movemask_ps(test(_mm_loadu_ps(x + i + 4))) << 4 |
                                  _mm_movemask_ps(test(_mm_loadu_ps(x + i + 8))) << 8 |
                                  _mm_movemask_ps(test(_mm_loadu_ps(x + i + 12))) << 12);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < count && !test(x[i])) ++i;
    return i;
}

// First index from i whose 8-bit sample belongs to the set, or count.
inline std::size_t FirstIn(const std::int8_t* x, std::size_t i, std::size_t count,
                           const Int8Set& set) {
#if defined(__SSE2__)
    if (set.InRuns())
        for (; i + kBlock <= count; i += kBlock) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
            const auto mask = static_cast<unsigned>(_mm_movemask_epi8(set.Contains(block)));
            if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
#endif
    while (i < count && !set.Contains(x[i])) ++i;
    return i;
}

// The questions a pass asks of a sample.
enum class Test {
    NotBelow,
    AtOrBelow,
    SettledFromBelow,
    SettledFromAbove,
    Decisive,
    DecisivelyHigh
};

// Samples as floats.
class FloatSamples {
  public:
    FloatSamples(std::span<const float> data, const Band& band) : x_(data.data()), band_(band) {}

    double Volt(std::size_t i) const { return x_[i]; }
    bool Is(Test test, std::size_t i) const {
        const float x = x_[i];
        switch (test) {
            case Test::NotBelow:
                return band_.NotBelow(x);
            case Test::AtOrBelow:
                return band_.AtOrBelow(x);
            case Test::SettledFromBelow:
                return band_.SettledFromBelow(x);
            case Test::SettledFromAbove:
                return band_.SettledFromAbove(x);
            case Test::Decisive:
                return band_.Decisive(x);
            case Test::DecisivelyHigh:
                break;
        }
        return band_.DecisivelyHigh(x);
    }
    std::size_t First(Test test, std::size_t i, std::size_t end) const {
        switch (test) {
            case Test::NotBelow:
                return FirstWhere(x_, i, end, [this](auto x) { return band_.NotBelow(x); });
            case Test::AtOrBelow:
                return FirstWhere(x_, i, end, [this](auto x) { return band_.AtOrBelow(x); });
            case Test::SettledFromBelow:
                return FirstWhere(x_, i, end, [this](auto x) { return band_.SettledFromBelow(x); });
            case Test::SettledFromAbove:
                return FirstWhere(x_, i, end, [this](auto x) { return band_.SettledFromAbove(x); });
            case Test::Decisive:
                return FirstWhere(x_, i, end, [this](auto x) { return band_.Decisive(x); });
            case Test::DecisivelyHigh:
                break;
        }
        while (i < end && !band_.DecisivelyHigh(x_[i])) ++i;
        return i;
    }

  private:
    const float* x_;
    Band band_;
};

// 8-bit samples with the volts of each value: every test is a set of values.
class Int8Samples {
  public:
    Int8Samples(std::span<const std::int8_t> data, const std::array<float, 256>& volts,
                const Band& band)
        : x_(data.data()), volts_(volts.data()) {
        sets_[0] = Int8Set::WhereVolts(volts, [&](float v) { return band.NotBelow(v); });
        sets_[1] = Int8Set::WhereVolts(volts, [&](float v) { return band.AtOrBelow(v); });
        sets_[2] = Int8Set::WhereVolts(volts, [&](float v) { return band.SettledFromBelow(v); });
        sets_[3] = Int8Set::WhereVolts(volts, [&](float v) { return band.SettledFromAbove(v); });
        sets_[4] = Int8Set::WhereVolts(volts, [&](float v) { return band.Decisive(v); });
        sets_[5] = Int8Set::WhereVolts(volts, [&](float v) { return band.DecisivelyHigh(v); });
    }

    double Volt(std::size_t i) const { return Volts(x_[i]); }
    bool Is(Test test, std::size_t i) const { return SetOf(test).Contains(x_[i]); }
    std::size_t First(Test test, std::size_t i, std::size_t end) const {
        return FirstIn(x_, i, end, SetOf(test));
    }

  private:
    float Volts(std::int8_t value) const { return volts_[static_cast<std::uint8_t>(value)]; }
    const Int8Set& SetOf(Test test) const { return sets_[static_cast<std::size_t>(test)]; }

    const std::int8_t* x_;
    const float* volts_;
    Int8Set sets_[6];
};

// One band's pass of the state machine over the samples from begin to end, resumable at
// any sample. Without a pending crossing only a reach of the level changes anything, and
// with one only a sample beyond the band, so the pass jumps from one such sample to the
// next.
template <class Samples>
class Pass {
  public:
    Pass(const Samples& samples, std::size_t begin, std::size_t end, int state, float level,
         double startOffset, double crossing, std::vector<double>* risingOut,
         std::vector<double>* fallingOut)
        : samples_(samples),
          begin_(begin),
          end_(end),
          level_(level),
          startOffset_(startOffset),
          state_(state),
          crossing_(crossing),
          i_(begin),
          risingOut_(risingOut),
          fallingOut_(fallingOut) {}

    // Steps through the samples up to end.
    void Advance(std::size_t end) {
        while (i_ < end) {
            const bool below = state_ == kSearchBelow;
            if (!pending_) {
                i_ = samples_.First(below ? Test::NotBelow : Test::AtOrBelow, i_, end);
                if (i_ == end) return;
                crossing_ =
                    CrossingAt(i_, samples_.Volt(i_ == 0 ? 0 : i_ - 1), samples_.Volt(i_), level_);
                crossed_ = true;
                pending_ = true;
            }
            i_ = samples_.First(below ? Test::SettledFromBelow : Test::SettledFromAbove, i_, end);
            if (i_ == end) return;
            pending_ = false;
            if (below && samples_.Is(Test::NotBelow, i_)) {
                state_ = kSearchAbove;
                if (risingOut_) Keep(*risingOut_);
            } else if (!below && samples_.Is(Test::AtOrBelow, i_)) {
                state_ = kSearchBelow;
                if (fallingOut_) Keep(*fallingOut_);
            }
            ++i_;
        }
    }

    int State() const { return state_; }
    bool Pending() const { return pending_; }
    double Crossing() const { return crossing_; }
    // True when the pass found a crossing of its own.
    bool Crossed() const { return crossed_; }

  private:
    void Keep(std::vector<double>& list) {
        if (list.size() == list.capacity()) Grow(list);
        list.push_back(crossing_ + startOffset_);
    }

    // A full list grows to the size its crossings so far point to for the whole stretch,
    // and never past what the samples left can add, so that an edge-dense record's lists
    // neither hold twice their crossings nor are copied again and again.
    void Grow(std::vector<double>& list) const {
        const std::size_t size = list.size();
        // Crossings alternate between rising and falling, each at a sample of its own.
        const std::size_t most = size + (end_ - i_ + 1) / 2 + 1;
        const double projected = static_cast<double>(size) * 1.125 *
                                 static_cast<double>(end_ - begin_) /
                                 static_cast<double>(i_ - begin_ + 1);
        const std::size_t wanted = std::max(
            {size * 2, EdgeSearchEngine::kListGrowth,
             projected < static_cast<double>(most) ? static_cast<std::size_t>(projected) : most});
        list.reserve(std::min(wanted, most));
    }

    // A copy: through a reference the compiler reloads the samples' fields at every store
    // of a crossing.
    Samples samples_;
    std::size_t begin_;
    std::size_t end_;
    double level_;
    double startOffset_;
    int state_;
    bool pending_ = false;
    bool crossed_ = false;
    double crossing_;
    std::size_t i_;
    std::vector<double>* risingOut_;
    std::vector<double>* fallingOut_;
};

// What one band's run found, or one stretch of it.
struct BandResult {
    std::vector<double> rising, falling;
    int state = kSearchNotRun;
    bool pending = false;
    double crossing = 0.0;
    bool crossed = false;  // the stretch noted a crossing of its own
};

// Appends the parts' lists in order, each list reserved once; a single part is taken whole.
void Concatenate(std::vector<BandResult>& parts, std::vector<double> BandResult::*list,
                 std::vector<double>& out) {
    if (parts.size() == 1) {
        out = std::move(parts.front().*list);
        return;
    }
    std::size_t total = 0;
    for (const BandResult& part : parts) total += (part.*list).size();
    out.reserve(total);
    for (BandResult& part : parts) {
        out.insert(out.end(), (part.*list).begin(), (part.*list).end());
        part.*list = std::vector<double>();
    }
}

// The samples that end a stretch: each block's first decisive sample, from the second
// block on; a block without one (a silence inside the band) adds none.
template <class Samples>
std::vector<std::size_t> StretchEnds(const Samples& samples, std::size_t count) {
    const std::size_t block = Workers::BlockSamples();
    const std::size_t blocks = (count + block - 1) / block;
    std::vector<std::size_t> decisive(blocks, count);
    Workers::ForEach(blocks > 0 ? blocks - 1 : 0, [&](std::size_t k) {
        const std::size_t first = (k + 1) * block;
        const std::size_t end = std::min(count, first + block);
        const std::size_t found = samples.First(Test::Decisive, first, end);
        decisive[k + 1] = found < end ? found : count;
    });
    std::vector<std::size_t> ends;
    for (std::size_t k = 1; k < blocks; ++k)
        if (decisive[k] < count) ends.push_back(decisive[k]);
    return ends;
}

// One band over every sample, stretch by stretch on the workers. The state after a
// decisive sample does not depend on the samples before it, so each stretch from one
// block's first decisive sample to the next block's runs on its own and the stretches'
// crossings, put in order, are those of one pass from the start: the result is the same
// for every worker count and block size.
template <class Samples>
BandResult RunBand(const Samples& samples, std::size_t count, float level, double startOffset,
                   double crossing, bool wantRising, bool wantFalling) {
    const std::vector<std::size_t> stops = StretchEnds(samples, count);
    std::vector<BandResult> parts(stops.size() + 1);
    Workers::ForEach(parts.size(), [&](std::size_t j) {
        const std::size_t begin = j == 0 ? 0 : stops[j - 1] + 1;
        const std::size_t end = j < stops.size() ? stops[j] + 1 : count;
        const int state = j == 0 ? (samples.Volt(0) <= level ? kSearchBelow : kSearchAbove)
                          : samples.Is(Test::DecisivelyHigh, stops[j - 1]) ? kSearchAbove
                                                                           : kSearchBelow;
        BandResult& part = parts[j];
        Pass<Samples> pass(samples, begin, end, state, level, startOffset, crossing,
                           wantRising ? &part.rising : nullptr,
                           wantFalling ? &part.falling : nullptr);
        pass.Advance(end);
        part.state = pass.State();
        part.pending = pass.Pending();
        part.crossing = pass.Crossing();
        part.crossed = pass.Crossed();
    });
    BandResult result;
    result.state = parts.back().state;
    result.pending = parts.back().pending;
    // The crossing last noted, as one pass would hold it.
    result.crossing = crossing;
    for (std::size_t j = parts.size(); j-- > 0;)
        if (parts[j].crossed) {
            result.crossing = parts[j].crossing;
            break;
        }
    Concatenate(parts, &BandResult::rising, result.rising);
    Concatenate(parts, &BandResult::falling, result.falling);
    return result;
}

bool SameBand(const EdgeSearch& a, const EdgeSearch& b) {
    return a.level == b.level && a.upper == b.upper && a.lower == b.lower;
}

}  // namespace

bool EdgeSearchEngine::AddSearch(float level, float hysteresis, int kind, std::string name) {
    if (kind != kEdgeRising && kind != kEdgeFalling && kind != kEdgeBoth) return false;
    try {
        auto search = std::make_unique<EdgeSearch>();
        search->name = std::move(name);
        search->kind = kind;
        search->level = level;
        search->upper = static_cast<double>(level) + hysteresis;
        search->lower = static_cast<double>(level) - hysteresis;
        search->hasRising = kind != kEdgeFalling;
        search->hasFalling = kind != kEdgeRising;
        if (search->hasRising) search->rising.reserve(kListGrowth);
        if (search->hasFalling) search->falling.reserve(kListGrowth);
        searches_.push_back(std::move(search));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void EdgeSearchEngine::Run(std::span<const float> data, double startOffsetPoints,
                           const EdgeTimeBase& timeBase) {
    const double last = data.empty() ? 0.0 : data.back();
    RunPasses(data.size(), last, startOffsetPoints, timeBase,
              [&](const Band& band) { return FloatSamples(data, band); });
}

void EdgeSearchEngine::RunInt8(std::span<const std::int8_t> samples,
                               const std::array<float, 256>& volts, double startOffsetPoints,
                               const EdgeTimeBase& timeBase) {
    const double last = samples.empty() ? 0.0 : volts[static_cast<std::uint8_t>(samples.back())];
    RunPasses(samples.size(), last, startOffsetPoints, timeBase,
              [&](const Band& band) { return Int8Samples(samples, volts, band); });
}

template <class MakeSamples>
void EdgeSearchEngine::RunPasses(std::size_t count, double last, double startOffsetPoints,
                                 const EdgeTimeBase& timeBase, MakeSamples makeSamples) {
    timeBase_ = timeBase;
    for (auto& search : searches_) {
        // The storage goes too: the run's own lists replace it.
        search->rising = std::vector<double>();
        search->falling = std::vector<double>();
        search->pending = false;
        search->state = kSearchNotRun;
    }
    if (count == 0) return;
    // Searches never share state, and searches with the same level and band (a rising
    // and a falling search of one threshold) step through the same states; one run per
    // band serves them all.
    std::vector<std::vector<EdgeSearch*>> bands;
    std::vector<bool> taken(searches_.size(), false);
    for (std::size_t first = 0; first < searches_.size(); ++first) {
        if (taken[first]) continue;
        // A search is in its own band even when its level is NaN and equals nothing.
        std::vector<EdgeSearch*>& band = bands.emplace_back();
        taken[first] = true;
        band.push_back(searches_[first].get());
        for (std::size_t k = first + 1; k < searches_.size(); ++k)
            if (!taken[k] && SameBand(*searches_[first], *searches_[k])) {
                taken[k] = true;
                band.push_back(searches_[k].get());
            }
    }
    for (std::vector<EdgeSearch*>& band : bands) {
        bool wantRising = false, wantFalling = false;
        for (const EdgeSearch* search : band) {
            wantRising |= search->hasRising;
            wantFalling |= search->hasFalling;
        }
        const EdgeSearch& lead = *band.front();
        const auto samples = makeSamples(Band(lead.level, lead.upper, lead.lower));
        BandResult run = RunBand(samples, count, lead.level, startOffsetPoints, lead.crossing,
                                 wantRising, wantFalling);
        // Searches of one band share its lists; the last to take a list takes it whole.
        for (std::size_t k = 0; k < band.size(); ++k) {
            EdgeSearch& search = *band[k];
            search.state = run.state;
            search.pending = run.pending;
            search.crossing = run.crossing;
            search.previous = last;
            auto laterWants = [&](bool EdgeSearch::*has) {
                return std::any_of(band.begin() + static_cast<std::ptrdiff_t>(k) + 1, band.end(),
                                   [has](const EdgeSearch* later) { return later->*has; });
            };
            if (search.hasRising)
                search.rising =
                    laterWants(&EdgeSearch::hasRising) ? run.rising : std::move(run.rising);
            if (search.hasFalling)
                search.falling =
                    laterWants(&EdgeSearch::hasFalling) ? run.falling : std::move(run.falling);
        }
    }
}

const EdgeSearch* EdgeSearchEngine::Find(std::string_view name) const {
    for (const auto& search : searches_)
        if (search->name == name) return search.get();
    return nullptr;
}

std::vector<double> EdgeSearchEngine::Times(std::span<const double> positions) const {
    std::vector<double> times(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) times[i] = timeBase_.Seconds(positions[i]);
    return times;
}

}  // namespace kestrava
