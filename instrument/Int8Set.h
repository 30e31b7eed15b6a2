// A set of 8-bit sample values, tested one sample at a time or, with SSE2, sixteen. A
// threshold test of monotonic volts passes a run of values; the tests of a hysteresis
// band pass at most two runs. Such sets are tested with a few compares per sixteen
// samples; any other set is tested value by value.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrava {

class Int8Set {
  public:
    // The values that pass the test.
    template <class Test>
    static Int8Set Of(Test test) {
        Int8Set set;
        for (int value = -128; value < 128; ++value)
            set.members_[Index(value)] = test(static_cast<std::int8_t>(value));
        set.FindRuns();
        return set;
    }

    // The values whose volts (volts[value as an unsigned byte]) pass the test.
    template <class Test>
    static Int8Set WhereVolts(const std::array<float, 256>& volts, Test test) {
        return Of([&](std::int8_t value) { return test(volts[Index(value)]); });
    }

    bool Contains(std::int8_t value) const { return members_[Index(value)]; }
    // True when the set is made of at most two runs, and so is tested sixteen at a time.
    bool InRuns() const { return inRuns_; }

#if defined(__SSE2__)
    // All ones in the bytes whose values belong to the set; only for sets in runs.
    __m128i Contains(__m128i values) const {
        if (runCount_ == 0) return _mm_setzero_si128();
        __m128i inside = InRun(values, runs_[0]);
        if (runCount_ == 2) inside = _mm_or_si128(inside, InRun(values, runs_[1]));
        return inside;
    }
#endif

  private:
    // From the smallest value to the largest, as unsigned offsets from -128.
    struct Run {
        std::uint8_t first = 0;
        std::uint8_t span = 0;  // last - first
    };

    static std::size_t Index(int value) {
        return static_cast<std::uint8_t>(value);
    }

    void FindRuns() {
        runCount_ = 0;
        inRuns_ = true;
        for (int offset = 0; offset < 256;) {
            if (!members_[Index(offset - 128)]) {
                ++offset;
                continue;
            }
            int last = offset;
            while (last + 1 < 256 && members_[Index(last + 1 - 128)]) ++last;
            if (runCount_ == 2) {
                inRuns_ = false;
                return;
            }
            runs_[runCount_++] = {static_cast<std::uint8_t>(offset),
                                  static_cast<std::uint8_t>(last - offset)};
            offset = last + 1;
        }
    }

#if defined(__SSE2__)
    // A value lies in a run when its distance above the run's first value, counted
    // unsigned, is at most the run's span. The signed value's offset from -128 is its
    // byte with the top bit flipped, so the flip is folded into the run's first value.
    static __m128i InRun(__m128i values, Run run) {
        const __m128i first = _mm_set1_epi8(static_cast<char>(run.first ^ 0x80));
        const __m128i span = _mm_set1_epi8(static_cast<char>(run.span));
        const __m128i above = _mm_sub_epi8(values, first);
        return _mm_cmpeq_epi8(_mm_max_epu8(above, span), span);
    }
#endif

    std::array<bool, 256> members_{};
    Run runs_[2];
    int runCount_ = 0;
    bool inRuns_ = true;
};

}  // namespace kestrava
