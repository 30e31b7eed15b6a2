#include "instrument/EdgeSearchEngine.h"

#include <new>
#include <utility>

namespace kestrava {
namespace {

// The interpolated point between samples i-1 and i where the signal reached the level.
inline double CrossingAt(std::size_t i, double previous, double x, double level) {
    double index = static_cast<double>(i);
    return x != previous ? (index - 1.0) + (level - previous) / (x - previous) : index - 0.5;
}

// Samples are tested in blocks of this many with a fixed-length inner loop, which the
// compiler turns into a few vector compares; a block with a hit is walked one by one.
constexpr std::size_t kBlock = 16;

// First index from i whose sample is not below the level (NaN is not below).
inline std::size_t SkipBelow(const float* x, std::size_t i, std::size_t count, float level) {
    while (i + kBlock <= count) {
        int hit = 0;
        for (std::size_t j = 0; j < kBlock; ++j) hit |= !(x[i + j] < level);
        if (hit) break;
        i += kBlock;
    }
    while (i < count && x[i] < level) ++i;
    return i;
}

// First index from i whose sample is at or below the level (NaN is not).
inline std::size_t SkipAbove(const float* x, std::size_t i, std::size_t count, float level) {
    while (i + kBlock <= count) {
        int hit = 0;
        for (std::size_t j = 0; j < kBlock; ++j) hit |= x[i + j] <= level;
        if (hit) break;
        i += kBlock;
    }
    while (i < count && !(x[i] <= level)) ++i;
    return i;
}

struct PassResult {
    int state = kSearchNotRun;
    bool pending = false;
    double crossing = 0.0;
    double previous = 0.0;
};

// One pass of the state machine over all samples. Without a pending crossing a sample
// on the near side of the level changes nothing, so those runs are skipped in blocks;
// only samples from a reach of the level until it is settled take the full step.
PassResult RunPass(std::span<const float> data, float level, double upper, double lower,
                   double startOffset, double crossing, std::vector<double>* risingOut,
                   std::vector<double>* fallingOut) {
    const float* samples = data.data();
    const std::size_t count = data.size();
    const double levelD = level;
    int state = samples[0] <= level ? kSearchBelow : kSearchAbove;
    bool pending = false;

    std::size_t i = 0;
    while (i < count) {
        if (!pending) {
            i = state == kSearchBelow ? SkipBelow(samples, i, count, level)
                                      : SkipAbove(samples, i, count, level);
            if (i == count) break;
        }
        const float x = samples[i];
        const float previous = samples[i == 0 ? 0 : i - 1];
        if (state == kSearchBelow) {
            if (x < level) {
                if (x <= lower) pending = false;
            } else {
                if (!pending) {
                    crossing = CrossingAt(i, previous, x, levelD);
                    pending = true;
                }
                if (x > upper) {
                    pending = false;
                    state = kSearchAbove;
                    if (risingOut) risingOut->push_back(crossing + startOffset);
                }
            }
        } else {
            if (x <= level) {
                if (!pending) {
                    crossing = CrossingAt(i, previous, x, levelD);
                    pending = true;
                }
                if (x <= lower) {
                    pending = false;
                    state = kSearchBelow;
                    if (fallingOut) fallingOut->push_back(crossing + startOffset);
                }
            } else if (x >= upper) {
                pending = false;
            }
        }
        ++i;
    }
    return {state, pending, crossing, samples[count - 1]};
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
    timeBase_ = timeBase;
    for (auto& search : searches_) {
        search->rising.clear();
        search->falling.clear();
        search->pending = false;
        search->state = kSearchNotRun;
    }
    if (data.empty()) return;
    // Searches never share state, and searches with the same level and band (a rising
    // and a falling search of one threshold) step through the same states; one pass per
    // band serves them all.
    for (std::size_t first = 0; first < searches_.size(); ++first) {
        EdgeSearch& lead = *searches_[first];
        if (lead.state != kSearchNotRun) continue;
        std::vector<EdgeSearch*> band;
        bool wantRising = false, wantFalling = false;
        for (std::size_t k = first; k < searches_.size(); ++k) {
            EdgeSearch& other = *searches_[k];
            if (other.state != kSearchNotRun || !SameBand(lead, other)) continue;
            band.push_back(&other);
            wantRising |= other.hasRising;
            wantFalling |= other.hasFalling;
        }
        std::vector<double> rising, falling;
        rising.reserve(kListGrowth);
        falling.reserve(kListGrowth);
        PassResult result =
            RunPass(data, lead.level, lead.upper, lead.lower, startOffsetPoints, lead.crossing,
                    wantRising ? &rising : nullptr, wantFalling ? &falling : nullptr);
        for (EdgeSearch* search : band) {
            search->state = result.state;
            search->pending = result.pending;
            search->crossing = result.crossing;
            search->previous = result.previous;
            if (search->hasRising) search->rising = rising;
            if (search->hasFalling) search->falling = falling;
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
    for (std::size_t i = 0; i < positions.size(); ++i)
        times[i] = positions[i] * timeBase_.intervalS + timeBase_.offsetAS + timeBase_.offsetBS;
    return times;
}

}  // namespace kestrava
